#pragma once

#include "db/query.h"

#include <QString>
#include <QStringList>

// The fixed statements of the query window's three pages and how the trade
// report condition command chooses among them.

// The five statements of the trade report page besides "list all".
enum class TradeStatement {
    None,      // no usable time range: the command does nothing
    NoTime,    // all four time boxes empty
    SbsjRange, // declaration time range, bounds of the same length
    CjsjRange, // trade time range, bounds of the same length
    SbsjSplit, // declaration time range from the nine o'clock hour past 10:00:00
    CjsjSplit, // the same on the trade time
};

// Which statement the condition command runs for the four time boxes, and
// the time parameters it then sets (from bound first, as typed).
struct TradeChoice
{
    TradeStatement statement = TradeStatement::None;
    Parameters timeParameters;
};
TradeChoice chooseTradeStatement(const QString &sbsjFrom, const QString &sbsjTo,
                                 const QString &cjsjFrom, const QString &cjsjTo);

// The condition boxes of the trade report page.
struct TradeConditions
{
    QString gddm;     // Edit1
    QString zqdm;     // Edit2
    QString cjsl;     // Edit7
    QString bcye;     // Edit8
    QString bs;       // Edit11
    QString sbsjFrom; // Edit3
    QString sbsjTo;   // Edit4
    QString cjsjFrom; // Edit5
    QString cjsjTo;   // Edit6
};

// A statement ready to run: its lines and its parameters in setting order.
struct StatementText
{
    QStringList lines;
    Parameters parameters;
};

// The whole condition command of the trade report page; nothing to run
// (no lines) when no statement is chosen.
StatementText tradeConditionStatement(const TradeConditions &conditions);
StatementText tradeAllStatement();

// The orders pages. Page 3 has the extra cancelled quantity box.
struct OrderConditions
{
    QString acc;
    QString stock;
    QString qty;
    QString price;
    QString bs;
    QString qty2; // page 3 only
};
StatementText ordwthAllStatement();
StatementText ordwthConditionStatement(const OrderConditions &conditions);
StatementText ordwth2AllStatement();
StatementText ordwth2ConditionStatement(const OrderConditions &conditions);

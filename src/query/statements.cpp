#include "query/statements.h"

namespace {

const QString TradeSelect = QStringLiteral(
    "select gddm,zqdm,cjsl,cjjg,cjje,bcye,cjbh,bcrq,cjsj,sbsj,gdxm,gsdm,sqbh,bs,mjbh from ashare_cjhb");
const QString TradeWhere = QStringLiteral(
    "where (gddm like :tmpgddm) and (zqdm like :tmpzqdm) and (cjsl like :tmpcjsl) and (bcye like "
    ":tmpbcye) and (bs like :tmpbs)");
const QString TradeWhereSbsj = TradeWhere + QStringLiteral(" and(sbsj between :tmptime3 and :tmptime4) ");
const QString TradeWhereCjsj = TradeWhere + QStringLiteral(" and(cjsj between :tmptime5 and :tmptime6)");
const QString TradeSplitSelect = QStringLiteral(
    "select distinct A.* from ashare_cjhb  A INNER JOIN ashare_cjhb B ON (A.cjbh=B.cjbh)and "
    "(A.gddm like :tmpgddm) and (A.zqdm like :tmpzqdm) and (A.cjsl like :tmpcjsl) and (A.bcye like "
    ":tmpbcye) and (A.bs like :tmpbs) ");
const QString TradeSplitSbsj = QStringLiteral(
    "where(A.sbsj between :tmptime3 and '95959')or(B.sbsj between '100000' and :tmptime4)");
const QString TradeSplitCjsj = QStringLiteral(
    "where(A.cjsj between :tmptime5 and '95959')or(B.cjsj between '100000' and :tmptime6)");

const QString OrdwthSelect = QStringLiteral(
    "select rec_num,acc,stock,bs,qty,price,time,date,status,owflag,ordrec,reff,firmid,checkord "
    "from ashare_ordwth");
const QString OrdwthWhere = QStringLiteral(
    "where (acc like :tmpgddm) and (stock like :tmpzqdm) and (qty like :tmpcjsl) and (price like "
    ":tmpbcye)and (bs like :tmpbs)");
const QString Ordwth2Select = QStringLiteral(
    "select rec_num,acc,stock,bs,qty,qty2,price,time,date,status,remark,status1,owflag,ordrec,"
    "teordernum,reff,firmid,checkord from ashare_ordwth2");
const QString Ordwth2Where = OrdwthWhere + QStringLiteral("and (qty2 like :tmpqty2)");

const QChar SplitStartHour = QLatin1Char('9');

// A condition box's value: its key filter lets only ASCII through.
Parameter condition(const QString &name, const QString &value)
{
    return {name, value, ParameterType::AsciiText};
}

// How one time range is queried.
enum class RangeShape {
    None,  // lengths that make no usable range
    Range, // one text comparison: 5 and 5, or 6 and 6 characters
    Split, // a five-character start beginning with "9" and a six-character end
};

RangeShape rangeShape(const QString &from, const QString &to)
{
    if (from.size() == to.size() && (from.size() == 5 || from.size() == 6))
        return RangeShape::Range;
    if (from.size() == 5 && to.size() == 6 && from.at(0) == SplitStartHour)
        return RangeShape::Split;
    return RangeShape::None;
}

bool complete(const QString &from, const QString &to)
{
    return !from.isEmpty() && !to.isEmpty();
}

TradeChoice choose(const QString &from, const QString &to, const QString &fromName,
                   const QString &toName, TradeStatement range, TradeStatement split)
{
    TradeChoice choice;
    switch (rangeShape(from, to)) {
    case RangeShape::None:
        return choice;
    case RangeShape::Range:
        choice.statement = range;
        break;
    case RangeShape::Split:
        choice.statement = split;
        break;
    }
    choice.timeParameters = {condition(fromName, from), condition(toName, to)};
    return choice;
}

QStringList tradeStatementLines(TradeStatement statement)
{
    switch (statement) {
    case TradeStatement::None:
        break;
    case TradeStatement::NoTime:
        return {TradeSelect, TradeWhere};
    case TradeStatement::SbsjRange:
        return {TradeSelect, TradeWhereSbsj};
    case TradeStatement::CjsjRange:
        return {TradeSelect, TradeWhereCjsj};
    case TradeStatement::SbsjSplit:
        return {TradeSplitSelect, TradeSplitSbsj};
    case TradeStatement::CjsjSplit:
        return {TradeSplitSelect, TradeSplitCjsj};
    }
    return {};
}

// "%" + text + "%", the text unchanged.
QString substringPattern(const QString &text)
{
    return QLatin1Char('%') + text + QLatin1Char('%');
}


// The five substring parameters every condition statement starts with; the
// orders pages reuse the trade report's names for their own boxes.
Parameters substringParameters(const QString &gddm, const QString &zqdm, const QString &cjsl,
                               const QString &bcye, const QString &bs)
{
    return {
        condition(QStringLiteral(":tmpgddm"), substringPattern(gddm)),
        condition(QStringLiteral(":tmpzqdm"), substringPattern(zqdm)),
        condition(QStringLiteral(":tmpcjsl"), substringPattern(cjsl)),
        condition(QStringLiteral(":tmpbcye"), substringPattern(bcye)),
        condition(QStringLiteral(":tmpbs"), substringPattern(bs)),
    };
}

Parameters orderParameters(const OrderConditions &conditions)
{
    return substringParameters(conditions.acc, conditions.stock, conditions.qty, conditions.price,
                               conditions.bs);
}

} // namespace

TradeChoice chooseTradeStatement(const QString &sbsjFrom, const QString &sbsjTo,
                                 const QString &cjsjFrom, const QString &cjsjTo)
{
    if (sbsjFrom.isEmpty() && sbsjTo.isEmpty() && cjsjFrom.isEmpty() && cjsjTo.isEmpty())
        return {TradeStatement::NoTime, {}};
    const bool sbsjComplete = complete(sbsjFrom, sbsjTo);
    const bool cjsjComplete = complete(cjsjFrom, cjsjTo);
    if (sbsjComplete && cjsjComplete)
        return {};
    if (sbsjComplete)
        return choose(sbsjFrom, sbsjTo, QStringLiteral(":tmptime3"), QStringLiteral(":tmptime4"),
                      TradeStatement::SbsjRange, TradeStatement::SbsjSplit);
    if (cjsjComplete)
        return choose(cjsjFrom, cjsjTo, QStringLiteral(":tmptime5"), QStringLiteral(":tmptime6"),
                      TradeStatement::CjsjRange, TradeStatement::CjsjSplit);
    return {};
}

StatementText tradeConditionStatement(const TradeConditions &conditions)
{
    const TradeChoice choice = chooseTradeStatement(conditions.sbsjFrom, conditions.sbsjTo,
                                                    conditions.cjsjFrom, conditions.cjsjTo);
    if (choice.statement == TradeStatement::None)
        return {};
    return {tradeStatementLines(choice.statement),
            substringParameters(conditions.gddm, conditions.zqdm, conditions.cjsl, conditions.bcye,
                                conditions.bs)
                + choice.timeParameters};
}

StatementText tradeAllStatement()
{
    return {{TradeSelect}, {}};
}

StatementText ordwthAllStatement()
{
    return {{OrdwthSelect}, {}};
}

StatementText ordwthConditionStatement(const OrderConditions &conditions)
{
    return {{OrdwthSelect, OrdwthWhere}, orderParameters(conditions)};
}

StatementText ordwth2AllStatement()
{
    return {{Ordwth2Select}, {}};
}

StatementText ordwth2ConditionStatement(const OrderConditions &conditions)
{
    Parameters parameters = orderParameters(conditions);
    parameters.append(condition(QStringLiteral(":tmpqty2"), substringPattern(conditions.qty2)));
    return {{Ordwth2Select, Ordwth2Where}, parameters};
}

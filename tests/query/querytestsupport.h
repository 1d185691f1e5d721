#pragma once

// Helpers shared by the query window tests: login, finding controls by
// name, typing and clicking like the operator, and the statement texts as
// the driver receives them.

#include "support/testsupport.h"

#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/datasource.h"
#include "db/query.h"
#include "query/countform.h"
#include "query/queryform.h"
#include "query/querypage.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>

#include <memory>

namespace querytest {

using testsupport::databasePath;
using testsupport::sqliteColumn;
using testsupport::sqliteCount;
using testsupport::sqliteExec;

// Insert statements for rows a test adds to the generated tables.
inline const QString TradeInsert = QStringLiteral(
    "insert into ashare_cjhb (gddm,gdxm,bcrq,cjbh,gsdm,cjsl,bcye,zqdm,sbsj,cjsj,cjjg,cjje,sqbh,bs,mjbh) values ");
inline const QString OrderInsert = QStringLiteral(
    "insert into ashare_ordwth (rec_num,date,time,reff,acc,stock,bs,price,qty,status,owflag,firmid,checkord) values ");

// The designed captions of DBGrid1.
inline const QStringList TradeCaptions = {"股东代码", "证券代码", "成交数量", "成交价格", "成交金额",
                                          "本次余额", "成交编号", "成交日期", "申报时间", "成交时间",
                                          "股东姓名", "会员编号", "SQBH", "买卖方向", "操作员"};

// The program's instances, logged in to DSN "sse", with the query window
// shown (offscreen) so that clicks and typing reach it as they would.
class Session
{
public:
    Session()
    {
        ::logIn(*datamod->con, {QString(), QStringLiteral("qtrl"), QStringLiteral("sse"),
                                QStringLiteral("OIW")});
        queryform->show();
        if (!QTest::qWaitForWindowExposed(queryform))
            qWarning("query window not exposed");
    }

private:
    testsupport::Forms m_forms;
};

template <typename T = QWidget>
T *control(const QString &name)
{
    return testsupport::child<T>(queryform, qPrintable(name));
}

inline QLineEdit *box(const QString &name) { return control<QLineEdit>(name); }
inline QString labelText(const QString &name) { return control<QLabel>(name)->text(); }
inline QTableView *grid(int number) { return control<QTableView>(QStringLiteral("DBGrid%1").arg(number)); }

inline DataSource *source(int number)
{
    switch (number) {
    case 2:
        return datamod->DataSource2;
    case 3:
        return datamod->DataSource3;
    default:
        return datamod->DataSource1;
    }
}

inline QWidget *pageOf(QWidget *widget)
{
    auto *pages = control<QTabWidget>(QStringLiteral("PageControl1"));
    for (int i = 0; i < pages->count(); ++i) {
        if (pages->widget(i)->isAncestorOf(widget))
            return pages->widget(i);
    }
    return nullptr;
}

// Brings the page of the control to the front (clicks need it visible).
inline void showPageOf(QWidget *widget)
{
    auto *pages = control<QTabWidget>(QStringLiteral("PageControl1"));
    pages->setCurrentWidget(pageOf(widget));
    QCoreApplication::processEvents();
}

// Clicks a button with the mouse, so that an error escaping its handler
// goes through the application-wide error box as for the operator.
inline void click(const QString &buttonName)
{
    auto *button = control<QPushButton>(buttonName);
    showPageOf(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Types each character as a key press carrying it; characters outside
// ASCII come as they would from a keyboard layout that has them.
inline void typeCharacters(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Replaces the box's text by typing the characters one by one.
inline void type(const QString &boxName, const QString &text)
{
    QLineEdit *edit = box(boxName);
    showPageOf(edit);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    typeCharacters(edit, text);
}

// Clicks the title cell of a grid's column with the mouse.
inline void clickTitle(int gridNumber, int column)
{
    QTableView *view = grid(gridNumber);
    showPageOf(view);
    QHeaderView *header = view->horizontalHeader();
    const auto visible = [&] {
        const int left = header->sectionViewportPosition(column);
        return left >= 0 && left + header->sectionSize(column) <= header->viewport()->width();
    };
    if (!visible())
        header->setOffsetToSectionPosition(header->visualIndex(column));
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    // The title click is handled once the header is done with the release.
    QCoreApplication::sendPostedEvents(queryform, QEvent::MetaCall);
}

inline QString caption(int gridNumber, int column)
{
    return source(gridNumber)->headerData(column, Qt::Horizontal).toString();
}

// A statement as written (lines joined by CR LF) the way it reaches the
// driver: every named parameter replaced by "?".
inline QString driverText(const QStringList &lines)
{
    QString text = lines.join(QStringLiteral("\r\n"));
    static const QRegularExpression parameter(QStringLiteral(":[A-Za-z_][A-Za-z0-9_]*"));
    return text.replace(parameter, QStringLiteral("?"));
}

// Text of every row of a column of a grid's model.
inline QStringList columnTexts(int gridNumber, int column)
{
    QAbstractItemModel *model = grid(gridNumber)->model();
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->data(model->index(row, column)).toString();
    return texts;
}

// The value of a field in every row of the open query, in its current order.
inline QStringList fieldValues(Query *query, const QString &field)
{
    const ResultSet *result = query->result();
    QStringList values;
    if (!result)
        return values;
    const int column = result->columnIndex(field);
    for (int row = 0; row < result->rowCount(); ++row)
        values << result->text(row, column);
    return values;
}

} // namespace querytest

#pragma once

#include <QDialog>
#include <memory>

class QueryPage;

namespace Ui {
class Tqueryform;
}

// The query window: one page per interface table (trade reports, orders
// sent, confirmations received), each with condition boxes, list commands,
// a record count and a result grid that re-sorts on a title click. The
// handlers hand each control's event to its page.
class Tqueryform : public QDialog
{
    Q_OBJECT
public:
    explicit Tqueryform(QWidget *parent = nullptr);
    ~Tqueryform() override;

    // Page 1 (trade reports) … 3 (confirmations received).
    QueryPage &page(int number) const;

    // Binds the grid's columns to result fields by position.
    void BindDBGrid1Columns();
    void BindDBGrid2Columns();
    void BindDBGrid3Columns();

    // Page 1: trade reports.
    void Button1Click();
    void Button2Click();
    void Button3Click();
    // Page 2: orders sent.
    void Button4Click();
    void Button5Click();
    void Button6Click();
    // Page 3: confirmations received.
    void Button7Click();
    void Button8Click();
    void Button9Click();
    // Return-code table, from all three pages.
    void Button10Click();
    // Statistics of pages 1 and 2.
    void Button13Click();
    void Button14Click();

    void DBGrid1TitleClick(int column);
    void DBGrid2TitleClick(int column);
    void DBGrid3TitleClick(int column);

private:
    void FormCreate();
    void createPages();
    void installKeyFilters();
    void connectHandlers();

    std::unique_ptr<Ui::Tqueryform> ui;
    QueryPage *m_trades = nullptr;
    QueryPage *m_orders = nullptr;
    QueryPage *m_confirmations = nullptr;
};

extern Tqueryform *queryform;

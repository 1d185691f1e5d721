#pragma once

#include "query/sortstate.h"

#include <QDialog>
#include <memory>

class DataSource;
class QLabel;

namespace Ui {
class Tqueryform;
}

namespace keyfilters {
class TypedKeyFilter;
}

// The query window: one page per interface table (trade reports, orders
// sent, confirmations received), each with condition boxes, list commands,
// a record count and a result grid that re-sorts on a title click. The
// list commands, sorting and statistics catch nothing: their errors reach
// the application-wide error box.
class Tqueryform : public QDialog
{
    Q_OBJECT
public:
    explicit Tqueryform(QWidget *parent = nullptr);
    ~Tqueryform() override;

    // Binds the grid's columns to result fields by position.
    void BindDBGrid1Columns();
    void BindDBGrid2Columns();
    void BindDBGrid3Columns();

    // Sort state of DBGrid1 (1) … DBGrid3 (3).
    const SortState &sortState(int grid) const;

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
    void installKeyFilters();
    void connectHandlers();
    void titleClick(const QLabel *countLabel, SortState &state, DataSource *source, int column);

    std::unique_ptr<Ui::Tqueryform> ui;
    SortState m_sort1;
    SortState m_sort2;
    SortState m_sort3;
};

extern Tqueryform *queryform;

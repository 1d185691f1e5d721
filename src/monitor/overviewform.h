#pragma once

#include "monitor/overviewrows.h"

#include <QWidget>

#include <memory>
#include <vector>

class AlarmNotifier;
class QAbstractItemModel;
class QMenu;
class Tmonitorform;
namespace flow {
class AlarmBook;
class FlowWatch;
}
namespace Ui {
class Toverviewform;
}

// 报盘总览: every gateway database of dbset.ini on one screen, the current
// login's first. Not modal. Each row watches its database on a connection
// and worker of its own (flow::FlowWatch) at the monitor's interval, so a
// database that is down, slow or locked delays no other row and no window.
// Each row keeps its database's alarms (flow::AlarmBook); the sound and the
// tray follow all of them while the window is shown. A double-click opens
// the monitor of a row's database on the row's own watch. Passwords are held
// in memory only.
class Toverviewform : public QWidget
{
    Q_OBJECT
public:
    explicit Toverviewform(QWidget *parent = nullptr);
    ~Toverviewform() override;

    // Logout: drops every connection, empties the window and hides it.
    void stop();
    // The rows shown, for tests: one per database not hidden.
    QAbstractItemModel *rows() const;
    // The watch, the alarms and the monitor window of a row shown; null
    // while it needs a password, the monitor before it was opened.
    flow::FlowWatch *watchOf(int row) const;
    flow::AlarmBook *bookOf(int row) const;
    Tmonitorform *monitorOf(int row) const;
    AlarmNotifier *notifier() const { return m_notifier; }
    const overview::DatabaseEntry &entryOf(int row) const;
    QString statusText() const;

signals:
    // A row's refresh ended (or its state changed).
    void rowsChanged();

public slots:
    void RefreshButtonClick();
    // Writes the day's reconciliation of the row selected.
    void DayEndActionClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Row;
    class Model;
    void FormShow();
    void OverviewGridDoubleClick(const QModelIndex &index);
    void RowsMenuShow();
    void RowsMenuTriggered(const QString &key, bool shown);
    void loadRows();
    void startWatching(Row &row);
    void watchLogin(Row &row);
    void dropWatch(Row &row);
    void bringToFront();
    void askPassword(Row &row);
    Row *shownRow(int row) const;

    std::unique_ptr<Ui::Toverviewform> ui;
    std::vector<std::unique_ptr<Row>> m_rows; // every database, hidden ones included
    Model *m_model;
    QMenu *m_rowsMenu;
    AlarmNotifier *m_notifier;
    bool m_placed = false;
};

extern Toverviewform *overviewform;

#pragma once

#include <QDialog>
#include <memory>

class QAbstractTableModel;

namespace Ui {
class Trtnform;
}

class StringGridModel;

// The return-code table: a fixed string grid of the interface's return codes
// and their notes (flow/returncodes), filled once at creation and never
// changed afterwards.
class Trtnform : public QDialog
{
    Q_OBJECT
public:
    explicit Trtnform(QWidget *parent = nullptr);
    ~Trtnform() override;

    // Text of the grid cell in column col, row row (row 0 is the title row).
    QString cell(int col, int row) const;
    // The grid's cells, 81 rows × 2 columns, including the fixed row and column.
    QAbstractTableModel *cells() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();

    std::unique_ptr<Ui::Trtnform> ui;
    StringGridModel *m_cells = nullptr;
};

extern Trtnform *rtnform;

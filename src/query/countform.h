#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Tcountform;
}

// The statistics window: a title, a 2 × 3 grid of totals and a note. It has
// no behaviour of its own; the query window fills it and shows it modally.
class Tcountform : public QDialog
{
    Q_OBJECT
public:
    explicit Tcountform(QWidget *parent = nullptr);
    ~Tcountform() override;

    QString title() const;
    void setTitle(const QString &text);
    // Cells of grid1 by (column, row).
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString &text);

private:
    std::unique_ptr<Ui::Tcountform> ui;
};

extern Tcountform *countform;

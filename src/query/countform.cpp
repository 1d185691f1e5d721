#include "query/countform.h"
#include "ui_countform.h"

#include "ui/fonts.h"

#include <QFont>
#include <QHeaderView>
#include <QPalette>

Tcountform *countform = nullptr;

namespace {

const QColor MoneyGreen(192, 220, 192);

} // namespace

Tcountform::Tcountform(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::Tcountform>())
{
    ui->setupUi(this);
    setPixelFont(this, 12);
    setPixelFont(ui->Label1, 16);
    setPixelFont(ui->grid1, 15);

    QPalette background = palette();
    background.setColor(QPalette::Window, MoneyGreen);
    setPalette(background);

    QPalette title = ui->Label1->palette();
    title.setColor(QPalette::WindowText, Qt::black);
    ui->Label1->setPalette(title);

    QPalette rule = ui->Shape1->palette();
    rule.setColor(QPalette::Window, Qt::blue);
    ui->Shape1->setPalette(rule);

    // Flat cells in money green, fixed cells alike.
    QPalette cells = ui->grid1->palette();
    cells.setColor(QPalette::Base, MoneyGreen);
    cells.setColor(QPalette::Window, MoneyGreen);
    cells.setColor(QPalette::Text, Qt::black);
    ui->grid1->setPalette(cells);
    ui->grid1->horizontalHeader()->resizeSection(0, 64);
    ui->grid1->horizontalHeader()->resizeSection(1, 301);
    ui->grid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int row = 0; row < ui->grid1->rowCount(); ++row) {
        for (int column = 0; column < ui->grid1->columnCount(); ++column) {
            auto *item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled);
            ui->grid1->setItem(row, column, item);
        }
    }
}

Tcountform::~Tcountform() = default;

QString Tcountform::title() const
{
    return ui->Label1->text();
}

void Tcountform::setTitle(const QString &text)
{
    ui->Label1->setText(text);
}

QString Tcountform::cell(int column, int row) const
{
    const QTableWidgetItem *item = ui->grid1->item(row, column);
    return item ? item->text() : QString();
}

void Tcountform::setCell(int column, int row, const QString &text)
{
    ui->grid1->item(row, column)->setText(text);
}

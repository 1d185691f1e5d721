#include "query/count.h"
#include "ui_count.h"

Tcountform *countform = nullptr;

Tcountform::Tcountform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tcountform>())
{
    ui->setupUi(this);
}

Tcountform::~Tcountform() = default;

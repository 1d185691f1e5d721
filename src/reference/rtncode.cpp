#include "reference/rtncode.h"
#include "ui_rtncode.h"

Trtnform *rtnform = nullptr;

Trtnform::Trtnform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Trtnform>())
{
    ui->setupUi(this);
}

Trtnform::~Trtnform() = default;

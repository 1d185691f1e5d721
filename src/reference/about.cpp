#include "reference/about.h"
#include "ui_about.h"

Taboutform *aboutform = nullptr;

Taboutform::Taboutform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Taboutform>())
{
    ui->setupUi(this);
}

Taboutform::~Taboutform() = default;

#include "connection/chgpass.h"
#include "ui_chgpass.h"

Tchgpassform *chgpassform = nullptr;

Tchgpassform::Tchgpassform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tchgpassform>())
{
    ui->setupUi(this);
}

Tchgpassform::~Tchgpassform() = default;

#include "connection/login.h"
#include "ui_login.h"

Tloginform *loginform = nullptr;

Tloginform::Tloginform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tloginform>())
{
    ui->setupUi(this);
}

Tloginform::~Tloginform() = default;

#include "connection/info.h"
#include "ui_info.h"

Tinfoform *infoform = nullptr;

Tinfoform::Tinfoform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tinfoform>())
{
    ui->setupUi(this);
}

Tinfoform::~Tinfoform() = default;

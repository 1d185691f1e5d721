#include "query/query.h"
#include "ui_query.h"

Tqueryform *queryform = nullptr;

Tqueryform::Tqueryform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tqueryform>())
{
    ui->setupUi(this);
}

Tqueryform::~Tqueryform() = default;

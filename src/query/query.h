#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Tqueryform;
}

class Tqueryform : public QDialog
{
    Q_OBJECT
public:
    explicit Tqueryform(QWidget *parent = nullptr);
    ~Tqueryform() override;

private:
    std::unique_ptr<Ui::Tqueryform> ui;
};

extern Tqueryform *queryform;

#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Trtnform;
}

class Trtnform : public QDialog
{
    Q_OBJECT
public:
    explicit Trtnform(QWidget *parent = nullptr);
    ~Trtnform() override;

private:
    std::unique_ptr<Ui::Trtnform> ui;
};

extern Trtnform *rtnform;

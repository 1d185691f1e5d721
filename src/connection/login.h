#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Tloginform;
}

class Tloginform : public QDialog
{
    Q_OBJECT
public:
    explicit Tloginform(QWidget *parent = nullptr);
    ~Tloginform() override;

private:
    std::unique_ptr<Ui::Tloginform> ui;
};

extern Tloginform *loginform;

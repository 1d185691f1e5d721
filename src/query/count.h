#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Tcountform;
}

class Tcountform : public QDialog
{
    Q_OBJECT
public:
    explicit Tcountform(QWidget *parent = nullptr);
    ~Tcountform() override;

private:
    std::unique_ptr<Ui::Tcountform> ui;
};

extern Tcountform *countform;

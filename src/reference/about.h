#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Taboutform;
}

class Taboutform : public QDialog
{
    Q_OBJECT
public:
    explicit Taboutform(QWidget *parent = nullptr);
    ~Taboutform() override;

private:
    std::unique_ptr<Ui::Taboutform> ui;
};

extern Taboutform *aboutform;

#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Tchgpassform;
}

class Tchgpassform : public QDialog
{
    Q_OBJECT
public:
    explicit Tchgpassform(QWidget *parent = nullptr);
    ~Tchgpassform() override;

private:
    std::unique_ptr<Ui::Tchgpassform> ui;
};

extern Tchgpassform *chgpassform;

#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Tinfoform;
}

class Tinfoform : public QDialog
{
    Q_OBJECT
public:
    explicit Tinfoform(QWidget *parent = nullptr);
    ~Tinfoform() override;

private:
    std::unique_ptr<Ui::Tinfoform> ui;
};

extern Tinfoform *infoform;

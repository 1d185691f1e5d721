#pragma once

#include "ui/dialogbase.h"

#include <memory>

class QKeyEvent;
class QLineEdit;

namespace Ui {
class Tinfoform;
}

// The configuration window: edits the four settings of section ConDBSet.
class Tinfoform : public FixedDialog
{
    Q_OBJECT
public:
    explicit Tinfoform(QWidget *parent = nullptr);
    ~Tinfoform() override;

public slots:
    void Button1Click();
    void Button2Click();

protected:
    void FormShow() override;
    bool editKeyPress(QLineEdit *edit, QKeyEvent *event) override;
    bool editKeyRelease(QLineEdit *edit, QKeyEvent *event) override;

private:
    // Shared by the four edit boxes.
    bool Edit3KeyPress(QLineEdit *edit, QKeyEvent *event);
    bool Edit3KeyUp(QLineEdit *edit, QKeyEvent *event);

    std::unique_ptr<Ui::Tinfoform> ui;
};

extern Tinfoform *infoform;

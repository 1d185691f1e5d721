#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QKeyEvent;
class QShowEvent;

namespace Ui {
class Taboutform;
}

// The About window. Typing the key code as the first keys after the window
// is shown replaces the credits with the author's contact lines, which then
// stay for the rest of the run.
class Taboutform : public QDialog
{
    Q_OBJECT
public:
    explicit Taboutform(QWidget *parent = nullptr);
    ~Taboutform() override;

    // Takes one typed character; sets it to the null character when the
    // window swallows it.
    void FormKeyPress(QChar &key);

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormShow();

    std::unique_ptr<Ui::Taboutform> ui;
    // Characters typed since the window was last shown.
    QString m_typed;
};

extern Taboutform *aboutform;

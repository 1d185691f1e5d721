#include "app/unit1.h"
#include "ui_unit1.h"

#include <QAction>
#include <QLabel>

Tmainform *mainform = nullptr;

Tmainform::Tmainform(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Tmainform>())
{
    ui->setupUi(this);
    FormCreate();
}

Tmainform::~Tmainform() = default;

void Tmainform::FormCreate() {}
QAction *Tmainform::N2() const { return nullptr; }
QAction *Tmainform::N3() const { return nullptr; }
QAction *Tmainform::N4() const { return nullptr; }
QAction *Tmainform::N7() const { return nullptr; }
QLabel *Tmainform::panel(int index) const { return m_panels[index]; }
void Tmainform::enterLoggedInState(const QString &) {}
void Tmainform::N2Click() {}
void Tmainform::N3Click() {}
void Tmainform::N5Click() {}
void Tmainform::N6Click() {}
void Tmainform::N7Click() {}
void Tmainform::N9Click() {}
void Tmainform::N10Click() {}
void Tmainform::N12Click() {}
void Tmainform::N14Click() {}
void Tmainform::AshareCjhb1Click() {}
void Tmainform::AshareOrdwth21Click() {}
void Tmainform::AshareOrdwth1Click() {}

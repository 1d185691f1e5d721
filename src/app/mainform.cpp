#include "app/mainform.h"
#include "ui_mainform.h"

#include "app/clearing.h"
#include "app/menubarstyle.h"
#include "app/usage.h"
#include "connection/chgpassform.h"
#include "connection/datamodule.h"
#include "connection/infoform.h"
#include "connection/loginform.h"
#include "db/connection.h"
#include "query/queryform.h"
#include "reference/aboutform.h"
#include "monitor/monitorform.h"
#include "monitor/overviewform.h"
#include "reference/rtnform.h"
#include "monitor/traceform.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QMenu>
#include <QScreen>

// Resources of the static library are registered by name.
static void initAppResources()
{
    Q_INIT_RESOURCE(resources);
}

Tmainform *mainform = nullptr;

namespace {

const QString LoggedOutStatus = QStringLiteral("状态: 未登录");
const QString LoggedInStatus = QStringLiteral("状态: 已登录");
const QString UserStatus = QStringLiteral("数据库用户: ");

} // namespace

QString datePanelText(int year, int month, int day)
{
    return QStringLiteral("日期: ") + QString::number(year) + QStringLiteral("年")
        + QString::number(month) + QStringLiteral("月") + QString::number(day)
        + QStringLiteral("日");
}

QString datePanelText(const QDate &date)
{
    return datePanelText(date.year(), date.month(), date.day());
}

int centredLeft(int screenWidth, int windowWidth)
{
    // C++ integer division truncates toward zero, as the placement wants.
    return (screenWidth - windowWidth) / 2;
}

Tmainform::Tmainform(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Tmainform>())
{
    initAppResources();
    ui->setupUi(this);

    // Single border, system menu with close and minimise, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    // Submenus are reached by the same names as their entries.
    for (QMenu *menu : {ui->N1, ui->N4, ui->N11, ui->N8})
        menu->menuAction()->setObjectName(menu->objectName());
    ui->N15->setSeparator(true);
    ui->N13->setSeparator(true);
    ui->N16->setSeparator(true);
    ui->MainMenu1->setStyle(menuBarStyle());

    ui->StatusBar->addWidget(ui->StatusPanel0);
    ui->StatusBar->addWidget(ui->StatusPanel1);
    // The last panel runs to the end of the bar.
    ui->StatusBar->addWidget(ui->StatusPanel2, 1);

    // The strip is the menu bar over the status bar, nothing between.
    ui->centralwidget->setFixedHeight(0);
    setFixedSize(width(), ui->MainMenu1->sizeHint().height() + ui->StatusBar->maximumHeight());

    connect(ui->N2, &QAction::triggered, this, &Tmainform::N2Click);
    connect(ui->N3, &QAction::triggered, this, &Tmainform::N3Click);
    connect(ui->N5, &QAction::triggered, this, &Tmainform::N5Click);
    connect(ui->N6, &QAction::triggered, this, &Tmainform::N6Click);
    connect(ui->N7, &QAction::triggered, this, &Tmainform::N7Click);
    connect(ui->N9, &QAction::triggered, this, &Tmainform::N9Click);
    connect(ui->N10, &QAction::triggered, this, &Tmainform::N10Click);
    connect(ui->N12, &QAction::triggered, this, &Tmainform::N12Click);
    connect(ui->N14, &QAction::triggered, this, &Tmainform::N14Click);
    connect(ui->N17, &QAction::triggered, this, &Tmainform::N17Click);
    connect(ui->N18, &QAction::triggered, this, &Tmainform::N18Click);
    connect(ui->AshareCjhb1, &QAction::triggered, this, &Tmainform::AshareCjhb1Click);
    connect(ui->AshareOrdwth21, &QAction::triggered, this, &Tmainform::AshareOrdwth21Click);
    connect(ui->AshareOrdwth1, &QAction::triggered, this, &Tmainform::AshareOrdwth1Click);

    FormCreate();
}

Tmainform::~Tmainform() = default;

void Tmainform::FormCreate()
{
    // The date is written once; a program left open past midnight keeps it.
    ui->StatusPanel2->setText(datePanelText(QDate::currentDate()));

    ui->N3->setEnabled(false);
    ui->N4->menuAction()->setEnabled(false);
    ui->N7->setEnabled(false);

    // Centred on the screen by the outer width, at the top edge. Creating
    // the native window first lets platforms that know their frames early
    // (Windows) report the outer width already.
    create();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(centredLeft(screen->geometry().width(), frameGeometry().width()), 0);
}

QAction *Tmainform::N2() const { return ui->N2; }
QAction *Tmainform::N3() const { return ui->N3; }
QAction *Tmainform::N4() const { return ui->N4->menuAction(); }
QAction *Tmainform::N7() const { return ui->N7; }

QLabel *Tmainform::panel(int index) const
{
    switch (index) {
    case 0:
        return ui->StatusPanel0;
    case 1:
        return ui->StatusPanel1;
    case 2:
        return ui->StatusPanel2;
    default:
        return nullptr;
    }
}

void Tmainform::enterLoggedInState(const QString &user)
{
    ui->N2->setEnabled(false);
    ui->N3->setEnabled(true);
    ui->N4->menuAction()->setEnabled(true);
    ui->N7->setEnabled(true);
    ui->StatusPanel0->setText(LoggedInStatus);
    ui->StatusPanel1->setText(UserStatus + user);
}

void Tmainform::N2Click() { loginform->exec(); }
void Tmainform::N3Click() { queryform->exec(); }
void Tmainform::N5Click() { infoform->exec(); }
void Tmainform::N6Click() { chgpassform->exec(); }

void Tmainform::enterLoggedOutState()
{
    ui->N2->setEnabled(true);
    ui->N3->setEnabled(false);
    ui->N4->menuAction()->setEnabled(false);
    ui->N7->setEnabled(false);
    ui->StatusPanel0->setText(LoggedOutStatus);
    ui->StatusPanel1->setText(UserStatus);
    // The monitor and the trace have connections of their own: they close too.
    if (overviewform)
        overviewform->stop();
    if (monitorform)
        monitorform->stop();
    if (traceform)
        traceform->stop();
}

void Tmainform::N7Click()
{
    enterLoggedOutState();
    // Only the connection closes; the query objects keep what they hold.
    datamod->con->close();
}

void Tmainform::N9Click() { showUsage(); }
void Tmainform::N10Click() { aboutform->exec(); }
void Tmainform::N12Click() { rtnform->exec(); }
void Tmainform::N14Click() { showWizardNotice(); }

// Not modal: the monitor stays open beside the other windows.
void Tmainform::N17Click()
{
    monitorform->show();
    monitorform->raise();
    monitorform->activateWindow();
}
void Tmainform::N18Click()
{
    overviewform->show();
    overviewform->raise();
    overviewform->activateWindow();
}
void Tmainform::AshareCjhb1Click() { clearTable(ClearTable::Cjhb); }
void Tmainform::AshareOrdwth21Click() { clearTable(ClearTable::Ordwth2); }
void Tmainform::AshareOrdwth1Click() { clearTable(ClearTable::Ordwth); }

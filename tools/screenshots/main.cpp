// screenshots [FOLDER]
//
// Creates the program's windows as the program does, shows each window that
// exists (and the menus and message boxes), and saves one PNG of each into
// FOLDER (default: screenshots). Meant to run under Xvfb with the demo set-up
// of scripts/screenshots.sh: DSN "sse" and dbset.ini beside this program.

#include "app/application.h"
#include "app/forms.h"
#include "app/mainform.h"
#include "app/usage.h"
#include "connection/chgpassform.h"
#include "connection/datamodule.h"
#include "connection/infoform.h"
#include "connection/loginform.h"
#include "db/connection.h"
#include "base/settings.h"
#include "modalclose.h"
#include "query/countform.h"
#include "query/queryform.h"
#include "reference/aboutform.h"
#include "monitor/monitorform.h"
#include "reference/rtnform.h"
#include "monitor/traceform.h"
#include "ui/errorbox.h"
#include "ui/fonts.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

class Shooter : public QObject
{
public:
    explicit Shooter(const QString &folder)
        : m_folder(folder)
    {
        // Modal windows opened by a command are saved and closed from here.
        m_timer.setInterval(30);
        connect(&m_timer, &QTimer::timeout, this, &Shooter::watchModal);
        m_timer.start();
    }

    void save(const QImage &image, const QString &name)
    {
        const QString path = QStringLiteral("%1/%2-%3.png")
                                 .arg(m_folder)
                                 .arg(++m_count, 2, 10, QLatin1Char('0'))
                                 .arg(name);
        if (image.save(path))
            std::printf("%s\n", qPrintable(path));
        else
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }

    void save(QWidget *widget, const QString &name)
    {
        settle();
        save(widget->grab().toImage(), name);
    }

    // The main window with open popup menus drawn where they stand.
    void saveWithPopups(QWidget *window, const QList<QWidget *> &popups, const QString &name)
    {
        settle();
        QRect area = window->frameGeometry();
        for (QWidget *popup : popups)
            area |= popup->geometry();
        QImage image(area.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.drawPixmap(window->geometry().topLeft() - area.topLeft(), window->grab());
        for (QWidget *popup : popups)
            painter.drawPixmap(popup->geometry().topLeft() - area.topLeft(), popup->grab());
        painter.end();
        save(image, name);
    }

    static void settle()
    {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(20);
        }
    }

    // What the next modal windows are called in the file names, in order.
    QStringList modalNames;
    QStringList modalAnswers; // "&No", "OK", ... pressed in message boxes

private:
    void watchModal()
    {
        // A window counts as handled until it is hidden; shown again, it is new.
        if (m_current && !m_current->isVisible())
            m_current = nullptr;
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == m_current)
            return;
        m_current = modal;
        QString name = modalNames.isEmpty() ? QString() : modalNames.takeFirst();
        if (name.isEmpty())
            name = modal->objectName().isEmpty() ? QString::fromLatin1(modal->metaObject()->className())
                                                 : modal->objectName();
        save(modal->grab().toImage(), name);
        const QString answer = modalAnswers.isEmpty() || !qobject_cast<QMessageBox *>(modal)
            ? QString()
            : modalAnswers.takeFirst();
        closeModal(modal, answer, BoxFallback::Escape);
    }

    QString m_folder;
    int m_count = 0;
    QTimer m_timer;
    QPointer<QWidget> m_current;
};

// Runs a step as an event of the message loop, as a click would: an error
// it raises ends in the application-wide error box, not here.
void asEvent(const std::function<void()> &step)
{
    QTimer::singleShot(0, qApp, step);
    Shooter::settle();
}

void click(QAbstractButton *button)
{
    asEvent([button] { QTest::mouseClick(button, Qt::LeftButton); });
}

QPushButton *buttonWithText(QWidget *parent, const QString &text)
{
    for (QPushButton *button : parent->findChildren<QPushButton *>()) {
        if (button->text() == text && button->isVisible() && button->isEnabled())
            return button;
    }
    return nullptr;
}

void shootMenus(Shooter &shooter, const QString &suffix)
{
    auto *bar = mainform->findChild<QMenuBar *>(QStringLiteral("MainMenu1"));
    if (!bar)
        return;
    for (QAction *entry : bar->actions()) {
        QMenu *menu = entry->menu();
        if (!menu || !entry->isEnabled())
            continue;
        bar->setActiveAction(entry);
        Shooter::settle();
        QList<QWidget *> popups{menu};
        // Open the first submenu as well.
        for (QAction *item : menu->actions()) {
            if (item->menu()) {
                menu->setActiveAction(item);
                item->menu()->popup(menu->mapToGlobal(menu->actionGeometry(item).topRight()));
                Shooter::settle();
                popups << item->menu();
                break;
            }
        }
        shooter.saveWithPopups(mainform, popups,
                               QStringLiteral("main-menu-%1%2").arg(entry->objectName(), suffix));
        for (QWidget *popup : popups)
            popup->close();
        bar->setActiveAction(nullptr);
        Shooter::settle();
    }
}

void showAndShoot(Shooter &shooter, QWidget *window, const QString &name)
{
    window->show();
    Shooter::settle();
    shooter.save(window, name);
    window->hide();
    Shooter::settle();
}

void run(Shooter &shooter)
{
    mainform->show();
    shooter.save(mainform, QStringLiteral("main-logged-out"));
    shootMenus(shooter, QStringLiteral("-logged-out"));

    // Log in through the login window itself.
    loginform->show();
    Shooter::settle();
    shooter.save(loginform, QStringLiteral("login"));
    if (auto *password = loginform->findChild<QLineEdit *>(QStringLiteral("Edit2")))
        password->setText(QStringLiteral("demo"));
    if (auto *ok = loginform->findChild<QPushButton *>(QStringLiteral("Button1"))) {
        shooter.modalNames = QStringList{QStringLiteral("login-failed")};
        click(ok);
    }
    loginform->hide();
    Shooter::settle();

    shooter.save(mainform, QStringLiteral("main-logged-in"));
    shootMenus(shooter, QStringLiteral("-logged-in"));

    // The query window, each page listed in full and sorted by a title.
    queryform->show();
    Shooter::settle();
    if (auto *pages = queryform->findChild<QTabWidget *>()) {
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            Shooter::settle();
            QWidget *page = pages->widget(i);
            if (datamod->con->connected()) {
                // Totals over the rows the condition query lists (no nulls in
                // the quantity), then the whole table sorted by a title.
                if (QPushButton *totals = buttonWithText(page, QStringLiteral("查询统计"))) {
                    if (QPushButton *filtered = buttonWithText(page, QStringLiteral("按条件查询"))) {
                        shooter.modalNames = QStringList{QStringLiteral("query-page%1-error").arg(i + 1)};
                        click(filtered);
                    }
                    shooter.modalNames = QStringList{QStringLiteral("statistics-page%1").arg(i + 1)};
                    click(totals);
                }
                if (QPushButton *all = buttonWithText(page, QStringLiteral("查询全部数据"))) {
                    shooter.modalNames = QStringList{QStringLiteral("query-page%1-error").arg(i + 1)};
                    click(all);
                }
                if (auto *grid = page->findChild<QTableView *>()) {
                    QHeaderView *header = grid->horizontalHeader();
                    if (header && header->count() > 1) {
                        const QPoint title(header->sectionViewportPosition(1) + 5, header->height() / 2);
                        shooter.modalNames = QStringList{QStringLiteral("query-page%1-sort-error").arg(i + 1)};
                        asEvent([header, title] {
                            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title);
                        });
                    }
                }
            }
            shooter.save(queryform, QStringLiteral("query-page%1").arg(i + 1));
        }
    }
    queryform->hide();
    Shooter::settle();

    showAndShoot(shooter, infoform, QStringLiteral("config"));
    showAndShoot(shooter, chgpassform, QStringLiteral("password"));
    showAndShoot(shooter, rtnform, QStringLiteral("return-codes"));
    showAndShoot(shooter, aboutform, QStringLiteral("about"));
    showAndShoot(shooter, countform, QStringLiteral("statistics-window"));

    // The program's boxes.
    shooter.modalNames = QStringList{QStringLiteral("box-usage")};
    showUsage();
    shooter.modalNames = QStringList{QStringLiteral("box-wizard")};
    showWizardNotice();
    // Clearing through the menu: SQLite refuses the statement, which shows
    // the failure box.
    if (QAction *clear = mainform->findChild<QAction *>(QStringLiteral("AshareCjhb1"))) {
        shooter.modalNames = QStringList{QStringLiteral("box-clear-confirm"), QStringLiteral("box-clear-failed")};
        shooter.modalAnswers << QStringLiteral("&Yes");
        asEvent([clear] { clear->trigger(); });
    }
    shooter.modalNames = QStringList{QStringLiteral("box-error")};
    showExceptionBox(SettingsError(QStringLiteral("File not found")));

    // The order-flow monitor after its first refresh, and the trace of its
    // first finding.
    if (QAction *monitor = mainform->findChild<QAction *>(QStringLiteral("N17"))) {
        QEventLoop refreshed;
        QObject::connect(monitorform, &Tmonitorform::refreshed, &refreshed, &QEventLoop::quit);
        QTimer::singleShot(15000, &refreshed, &QEventLoop::quit);
        monitor->trigger();
        refreshed.exec();
        shooter.save(monitorform, QStringLiteral("monitor"));
        auto *findings = monitorform->findChild<QTableView *>(QStringLiteral("FindingsGrid"));
        if (findings && findings->model() && findings->model()->rowCount() > 0) {
            QEventLoop traced;
            QObject::connect(traceform, &Ttraceform::traced, &traced, &QEventLoop::quit);
            QTimer::singleShot(15000, &traced, &QEventLoop::quit);
            const QModelIndex first = findings->model()->index(0, 0);
            emit findings->doubleClicked(first);
            traced.exec();
            shooter.save(traceform, QStringLiteral("trace"));
            traceform->hide();
        }
        monitorform->hide();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    int toolkitArgc = 1;
    Application app(toolkitArgc, argv);
    installFontSubstitutions();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }
    createForms();
    {
        Shooter shooter(folder);
        run(shooter);
    }
    destroyForms();
    return 0;
}

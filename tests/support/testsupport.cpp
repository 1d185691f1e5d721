#include "support/testsupport.h"

#include "app/forms.h"
#include "app/mainform.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "gendata.h"
#include "ui/command.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace testsupport {

namespace {

QTemporaryDir &privateDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/sqltool-test-XXXXXX"));
    return dir;
}

QByteArray systemIni(const char *name)
{
    QByteArray folder = qgetenv("ODBCSYSINI");
    if (folder.isEmpty())
        folder = "/etc";
    QFile file(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Driver sections with Threading=2 in place of any level of their own: at
// the default level 3 the driver manager holds SQLCancel until the call it
// should interrupt has returned.
QByteArray withCancelThreading(const QByteArray &odbcinst)
{
    QByteArray result;
    for (const QByteArray &line : odbcinst.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.toLower().startsWith("threading"))
            continue;
        result += line + '\n';
        if (trimmed.startsWith('[') && trimmed != "[ODBC]")
            result += "Threading=2\n";
    }
    return result;
}

QString env(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

struct SqliteDb
{
    sqlite3 *db = nullptr;
    explicit SqliteDb(const QString &path)
    {
        if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path.toStdString());
        // Another process may be writing the file (the gateway stand-in).
        sqlite3_busy_timeout(db, 10000);
    }
    ~SqliteDb() { sqlite3_close(db); }
};

} // namespace

void prepareProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir &dir = privateDir();
    if (!dir.isValid())
        qFatal("cannot create a temporary folder");

    QByteArray odbcinst = "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" SQLTOOL_SQLITE_ODBC_DRIVER "\n"
                          "Threading=2\n\n";
    QByteArray odbc = "[sse]\nDriver=SQLite3\nDescription=test trades\nDatabase="
        + databasePath().toUtf8() + "\n\n[other]\nDriver=SQLite3\nDescription=second file\nDatabase="
        + otherDatabasePath().toUtf8() + "\n\n[stepped]\nDriver=SQLite3\nDescription=test trades, rows stepped\nDatabase="
        + databasePath().toUtf8() + "\nStepAPI=1\n\n";
    if (!sqlServerDsn().isEmpty()) {
        odbcinst += withCancelThreading(systemIni("odbcinst.ini"));
        odbc += systemIni("odbc.ini");
    }
    writeFile(dir.path() + QStringLiteral("/odbcinst.ini"), odbcinst);
    writeFile(dir.path() + QStringLiteral("/odbc.ini"), odbc);
    qputenv("ODBCSYSINI", QFile::encodeName(dir.path()));
    // User DSNs of the account running the tests must not shadow ours.
    qputenv("ODBCINI", QFile::encodeName(dir.path() + QStringLiteral("/odbc.ini")));
}

QString workDir()
{
    return privateDir().path();
}

QString databasePath()
{
    return workDir() + QStringLiteral("/sse.db");
}

QString otherDatabasePath()
{
    return workDir() + QStringLiteral("/other.db");
}

void generateDatabase(const QString &path, std::int64_t tradeRows, std::uint64_t seed,
                      std::int64_t orderRows)
{
    gendata::Options options;
    options.tradeRows = tradeRows;
    options.orderRows = orderRows;
    options.seed = seed;
    gendata::generate(QFile::encodeName(path).toStdString(), options);
}

void createEmptyDatabase(const QString &path)
{
    QFile::remove(path);
    gendata::createSchema(QFile::encodeName(path).toStdString());
}

void sqliteExec(const QString &path, const QString &sql)
{
    gendata::execute(QFile::encodeName(path).toStdString(), sql.toStdString());
}

qint64 sqliteCount(const QString &path, const QString &sql)
{
    SqliteDb db(path);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    qint64 value = -1;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

QStringList sqliteColumn(const QString &path, const QString &sql)
{
    SqliteDb db(path);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    QStringList values;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
        values << (text ? QString::fromUtf8(text) : QString());
    }
    sqlite3_finalize(stmt);
    return values;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString dbsetPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/dbset.ini");
}

void writeDbset(const QByteArray &content)
{
    QFile::setPermissions(dbsetPath(), QFile::ReadOwner | QFile::WriteOwner);
    writeFile(dbsetPath(), content);
}

void removeDbset()
{
    QFile::setPermissions(dbsetPath(), QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(dbsetPath());
}

bool canRunAsNobody()
{
#ifdef Q_OS_UNIX
    return geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("runuser")).isEmpty();
#else
    return false;
#endif
}

// A temporary folder every user can enter: each folder on its path lets
// others through.
static QString sharedTempRoot()
{
    for (const QString &candidate : {QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp")}) {
        const QString path = QFileInfo(candidate).canonicalFilePath();
        bool open = !path.isEmpty();
        for (QDir dir(path); open && !dir.isRoot(); dir.cdUp())
            open = QFileInfo(dir.path()).permissions().testFlag(QFile::ExeOther);
        if (open)
            return path;
    }
    return QStringLiteral("/tmp");
}

QString runCaseAsNobody(const QString &testCase)
{
    // The program may lie where only its owner can enter (a checkout in a
    // mode-700 folder, root's home): nobody runs a copy in a shared folder.
    const QString shared = sharedTempRoot();
    QTemporaryDir copyDir(shared + QStringLiteral("/sqltool-nobody-XXXXXX"));
    const QString program =
        copyDir.filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    const QFile::Permissions everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    if (!copyDir.isValid() || !QFile::setPermissions(copyDir.path(), everyone)
        || !QFile::copy(QCoreApplication::applicationFilePath(), program) || !QFile::setPermissions(program, everyone))
        return QStringLiteral("cannot copy the test program to ") + shared;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), shared);
    // A sanitizer's suppressions file lies in the checkout as well: nobody
    // reads a copy beside the program.
    for (const QString &variable : {QStringLiteral("ASAN_OPTIONS"), QStringLiteral("UBSAN_OPTIONS"),
                                    QStringLiteral("TSAN_OPTIONS")}) {
        QStringList options = environment.value(variable).split(QLatin1Char(':'));
        for (QString &option : options) {
            const QString key = QStringLiteral("suppressions=");
            if (!option.startsWith(key))
                continue;
            const QString copy = copyDir.filePath(variable + QStringLiteral(".supp"));
            if (!QFile::copy(option.mid(key.size()), copy) || !QFile::setPermissions(copy, everyone))
                return QStringLiteral("cannot copy the suppressions of ") + variable;
            option = key + copy;
        }
        if (environment.contains(variable))
            environment.insert(variable, options.join(QLatin1Char(':')));
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(copyDir.path());
    child.start(QStringLiteral("runuser"), {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                                            program, testCase});
    if (!child.waitForFinished(120000))
        child.kill();
    const QString output = QString::fromLocal8Bit(child.readAll());
    // Passed, not skipped: its own PASS line names the case.
    const qsizetype colon = testCase.indexOf(QLatin1Char(':'));
    const QString name = colon < 0 ? testCase + QStringLiteral("()")
                                   : testCase.left(colon) + QLatin1Char('(') + testCase.mid(colon + 1) + QLatin1Char(')');
    bool passLine = false;
    for (const QString &line : output.split(QLatin1Char('\n')))
        passLine = passLine || (line.startsWith(QStringLiteral("PASS")) && line.endsWith(QStringLiteral("::") + name));
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 && passLine;
    return passed ? QString() : QStringLiteral("as nobody: ") + testCase + QLatin1Char('\n') + output;
}

QByteArray readDbset()
{
    return readFile(dbsetPath());
}

void logIn(const QString &dsn, const QString &user, const QString &password,
           const QString &database)
{
    ::logIn(*datamod->con, {password, user, dsn, database});
    mainform->enterLoggedInState(user);
}

void verifyLoggedInState(const QString &user)
{
    QVERIFY(!mainform->N2()->isEnabled());
    QVERIFY(mainform->N3()->isEnabled());
    QVERIFY(mainform->N4()->isEnabled());
    QVERIFY(mainform->N7()->isEnabled());
    QCOMPARE(mainform->panel(0)->text(), QStringLiteral("状态: 已登录"));
    QCOMPARE(mainform->panel(1)->text(), QStringLiteral("数据库用户: ") + user);
}

void verifyLoggedOutState(const QString &panel0, const QString &panel1)
{
    QVERIFY(mainform->N2()->isEnabled());
    QVERIFY(!mainform->N3()->isEnabled());
    QVERIFY(!mainform->N4()->isEnabled());
    QVERIFY(!mainform->N7()->isEnabled());
    QCOMPARE(mainform->panel(0)->text(), panel0);
    QCOMPARE(mainform->panel(1)->text(), panel1);
}

QString sqlServerDsn() { return env("SQLTOOL_MSSQL_DSN"); }
QString sqlServerUser() { return env("SQLTOOL_MSSQL_USER"); }
QString sqlServerPassword() { return env("SQLTOOL_MSSQL_PASSWORD"); }
QString sqlServerDatabase() { return env("SQLTOOL_MSSQL_DATABASE"); }

ModalWatcher::ModalWatcher(Handler handler)
    : m_handler(std::move(handler))
{
    m_timer = startTimer(5);
}

ModalWatcher::~ModalWatcher()
{
    killTimer(m_timer);
}

void ModalWatcher::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_timer)
        poll();
}

bool ModalWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide) {
        m_seen.removeIf([watched](const QPointer<QWidget> &seen) { return !seen || seen == watched; });
        watched->removeEventFilter(this);
    }
    return false;
}

void ModalWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    // A command's progress window is the command's, not a box to close.
    if (modal == commandProgressWindow())
        return;
    // A window counts as met until it is hidden; shown again, it is new.
    m_seen.removeIf([](const QPointer<QWidget> &seen) { return !seen || !seen->isVisible(); });
    for (const auto &seen : std::as_const(m_seen)) {
        if (seen == modal)
            return;
    }
    m_seen << modal;
    // Hidden and shown again without a poll in between, it is still new.
    modal->installEventFilter(this);
    ModalRecord record;
    record.className = QString::fromLatin1(modal->metaObject()->className());
    record.objectName = modal->objectName();
    record.title = modal->windowTitle();
    record.hasOwner = modal->parentWidget() != nullptr;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        record.text = box->text();
        record.icon = box->icon();
        for (QAbstractButton *button : box->buttons())
            record.buttons << button->text();
        if (box->defaultButton())
            record.defaultButton = box->defaultButton()->text();
    }
    records << record;
    if (m_handler)
        m_handler(modal, record);
    else
        closeModal(modal);
}

void verifyOkBox(const ModalRecord &box, const QString &title, const QString &text,
                 QMessageBox::Icon icon, bool hasOwner)
{
    QCOMPARE(box.className, QStringLiteral("QMessageBox"));
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, int(icon));
    QCOMPARE(box.buttons, QStringList{OkButtonText});
    QCOMPARE(box.hasOwner, hasOwner);
}

QString caption(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(control))
        return group->title();
    return {};
}

QStringList lineEditTexts(const QObject *parent, std::initializer_list<const char *> names)
{
    QStringList texts;
    for (const char *name : names)
        texts << child<QLineEdit>(parent, name)->text();
    return texts;
}

QChar maskCharacter(const QLineEdit *box)
{
    if (box->echoMode() != QLineEdit::Password)
        return {};
    QStyleOptionFrame option;
    option.initFrom(box);
    return QChar(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, &option, box));
}

QStringList focusAfterKey(QWidget *box, Qt::Key key)
{
    const auto focused = [box] {
        const QWidget *focus = box->window()->focusWidget();
        return focus ? focus->objectName() : QString();
    };
    box->setFocus();
    QTest::keyPress(box, key);
    const QString afterPress = focused();
    QTest::keyRelease(box, key);
    return {afterPress, focused()};
}

void pressButton(QWidget *messageBox, const QString &text)
{
    auto *box = qobject_cast<QMessageBox *>(messageBox);
    if (!box)
        qFatal("pressButton: not a message box");
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == text) {
            button->click();
            return;
        }
    }
    qFatal("pressButton: no button %s", qPrintable(text));
}

void pressEscape(QWidget *modal)
{
    QTest::keyClick(modal, Qt::Key_Escape);
}

Forms::Forms()
{
    createForms();
}

Forms::~Forms()
{
    destroyForms();
}

} // namespace testsupport

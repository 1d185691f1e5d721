#include "support/testsupport.h"

#include "app/application.h"
#include "connection/infoform.h"
#include "base/settings.h"
#include "ui/messages.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

#include <new>
#include <stdexcept>

using namespace testsupport;

class ApplicationTest : public QObject
{
    Q_OBJECT

private slots:
    // Qt's own buttons and dialog texts are Chinese (the program's own
    // "&Yes"/"&No" stay as they are: confirmation below).
    void qtTextsInChinese_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("ok") << int(QMessageBox::Ok) << OkButtonText;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << QStringLiteral("取消");
        QTest::newRow("save") << int(QMessageBox::Save) << QStringLiteral("保存");
    }

    void qtTextsInChinese()
    {
        QFETCH(int, button);
        QFETCH(QString, text);
        QMessageBox box;
        box.setStandardButtons(QMessageBox::StandardButton(button));
        QCOMPARE(box.button(QMessageBox::StandardButton(button))->text(), text);
        // The save dialog's question before replacing a file.
        const QString replace = QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?");
        QVERIFY2(replace.contains(QStringLiteral("已存在")) || replace.contains(QStringLiteral("已经存在")), qPrintable(replace));
    }

    // --- title rule -------------------------------------------------------

    void title_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("windows path") << "C:\\x\\TOOL.EXE" << "Tool";
        QTest::newRow("unix path") << "/usr/local/bin/QTRLKV" << "Qtrlkv";
        QTest::newRow("cut at first dot") << "/opt/Prog.Name.exe" << "Prog";
        QTest::newRow("dots in folder") << "/a.b/c.d/MyTool" << "Mytool";
        QTest::newRow("first character kept") << "/bin/aBC" << "abc";
        QTest::newRow("one character") << "X.exe" << "X";
        QTest::newRow("name starts with dot") << "/x/.hidden" << "";
        QTest::newRow("chinese") << "D:\\工具\\报盘ABC.exe" << "报盘abc";
        QTest::newRow("pair first") << QStringLiteral("/x/\U0001F600ABC.exe") << QStringLiteral("\U0001F600abc");
        QTest::newRow("mixed separators") << "C:/x\\y/SQLTOOL.EXE" << "Sqltool";
    }

    void title()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(applicationTitle(path), title);
    }

    void titleOfThisProgram()
    {
        QCOMPARE(applicationTitle(), QStringLiteral("tst_application"));
    }

    // --- error box --------------------------------------------------------

    void errorBoxText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "File not found" << "File not found.";
        QTest::newRow("full stop") << "Done." << "Done.";
        QTest::newRow("exclamation") << "Stop!" << "Stop!";
        QTest::newRow("hyphen") << "a-" << "a-";
        QTest::newRow("comma") << "a," << "a,";
        QTest::newRow("closing bracket") << "(x)" << "(x)";
        QTest::newRow("blank") << "a " << "a ";
        QTest::newRow("slash") << "a/" << "a/.";
        QTest::newRow("digit") << "error 42" << "error 42.";
        QTest::newRow("colon") << "a:" << "a:.";
        QTest::newRow("chinese") << "数据库登录错误" << "数据库登录错误.";
        QTest::newRow("chinese full stop") << "错误。" << "错误。.";
        QTest::newRow("character outside the BMP") << QStringLiteral("x\U0001F600")
                                                   << QStringLiteral("x\U0001F600.");
        QTest::newRow("empty") << "" << "";
    }

    void errorBoxText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(::errorBoxText(message), shown);
    }

    // An exception escaping a click handler ends in the error box, and the
    // program goes on taking events.
    void exceptionFromHandlerShowsErrorBox()
    {
        QPushButton button(QStringLiteral("go"));
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, [&clicks] {
            ++clicks;
            throw std::runtime_error(clicks == 1 ? "数据库连接失败" : "second failure.");
        });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));

        ModalWatcher watcher;
        QTest::mouseClick(&button, Qt::LeftButton);
        QTRY_COMPARE(watcher.records.size(), 1);
        QTest::mouseClick(&button, Qt::LeftButton);
        QTRY_COMPARE(watcher.records.size(), 2);
        QCOMPARE(clicks, 2);

        verifyOkBox(watcher.records.at(0), QStringLiteral("tst_application"),
                    QStringLiteral("数据库连接失败."), QMessageBox::Critical);
        QCOMPARE(watcher.records.at(1).text, QStringLiteral("second failure."));
        // The button is usable again: its press was not left half done.
        QVERIFY(!button.isDown());
    }

    // A real command of the program failing: applying the configuration when
    // the settings file cannot be written.
    void exceptionFromProgramHandler()
    {
        Forms forms;
        removeDbset();
        QVERIFY(QDir().mkpath(dbsetPath()));
        ModalWatcher watcher([](QWidget *modal, const ModalRecord &record) {
            if (record.className == QLatin1String("Tinfoform")) {
                auto *apply = modal->findChild<QPushButton *>(QStringLiteral("Button2"));
                QTimer::singleShot(0, apply, [apply] { QTest::mouseClick(apply, Qt::LeftButton); });
            } else if (record.className == QLatin1String("QMessageBox")) {
                pressButton(modal, OkButtonText);
                // The configuration window stays open after the failure.
                QTimer::singleShot(0, infoform, [] {
                    QVERIFY(infoform->isVisible());
                    infoform->reject();
                });
            }
        });
        QTimer::singleShot(0, infoform, [] { infoform->exec(); });
        QTRY_COMPARE(watcher.records.size(), 2);
        QTRY_VERIFY(!infoform->isVisible());
        QDir().rmdir(dbsetPath());

        verifyOkBox(watcher.records.at(1), QStringLiteral("tst_application"),
                    QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(dbsetPath())
                        + QLatin1Char('.'),
                    QMessageBox::Critical);
    }

    // The box for memory running out is ready before it is first needed:
    // what showing it would create first (its native window, its layout)
    // exists from the start, and memory is set aside for the rest.
    void outOfMemoryBoxReadyBeforeUse()
    {
        QWidget *box = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("OutOfMemoryBox"))
                box = widget;
        QVERIFY(box);
        QVERIFY(!box->isVisible());
        QVERIFY(box->testAttribute(Qt::WA_WState_Created));
        QVERIFY(box->windowHandle());
        QVERIFY(box->internalWinId() != 0);
        QVERIFY(box->testAttribute(Qt::WA_WState_Polished));
        QVERIFY(box->size().width() >= box->sizeHint().width());
        QVERIFY(memoryReserved());
    }

    // Memory running out, wherever it is met, is told in the box prepared
    // at start-up, and the program goes on; nothing escapes into Qt.
    void outOfMemoryShowsPreparedBox_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("escaping an event handler") << "event";
        QTest::newRow("escaping a click handler") << "click";
        QTest::newRow("given to the error box") << "box";
    }
    void outOfMemoryShowsPreparedBox()
    {
        QFETCH(QString, where);
        struct Thrower : QObject
        {
            bool event(QEvent *event) override
            {
                if (event->type() == QEvent::User)
                    throw std::bad_alloc();
                return QObject::event(event);
            }
        } thrower;
        QPushButton button(QStringLiteral("go"));
        QObject::connect(&button, &QPushButton::clicked, [] { throw std::bad_alloc(); });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));

        ModalWatcher watcher;
        if (where == QLatin1String("event")) {
            QEvent event(QEvent::User);
            QVERIFY(QCoreApplication::sendEvent(&thrower, &event));
        } else if (where == QLatin1String("click")) {
            QTest::mouseClick(&button, Qt::LeftButton);
        } else {
            showExceptionBox(std::bad_alloc());
        }
        QTRY_COMPARE(watcher.records.size(), 1);
        verifyOkBox(watcher.records.first(), applicationTitle(), QStringLiteral("内存不足，操作未完成."),
                    QMessageBox::Critical);
        QCOMPARE(watcher.records.first().objectName, QStringLiteral("OutOfMemoryBox"));
        // The same box serves the next time.
        QEvent again(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &again);
        QTRY_COMPARE(watcher.records.size(), 2);
        QCOMPARE(watcher.records.at(1).text, watcher.records.first().text);
    }

    void showExceptionBoxDirectly()
    {
        ModalWatcher watcher;
        showExceptionBox(SettingsError(QStringLiteral("File not found")));
        QCOMPARE(watcher.records.size(), 1);
        verifyOkBox(watcher.records.first(), applicationTitle(), QStringLiteral("File not found."),
                    QMessageBox::Critical);
    }

    // --- the program's own boxes ------------------------------------------

    void informationAndErrorBoxes()
    {
        ModalWatcher watcher;
        msg::information(QStringLiteral("第一行\r第二行"), QStringLiteral("提示"));
        msg::error(QStringLiteral("失败"), QStringLiteral("错误"));
        QWidget owner;
        msg::error(QStringLiteral("失败"), QStringLiteral("错误"), &owner);
        QCOMPARE(watcher.records.size(), 3);
        verifyOkBox(watcher.records.at(0), QStringLiteral("提示"), QStringLiteral("第一行\n第二行"),
                    QMessageBox::Information);
        verifyOkBox(watcher.records.at(1), QStringLiteral("错误"), QStringLiteral("失败"),
                    QMessageBox::Critical);
        verifyOkBox(watcher.records.at(2), QStringLiteral("错误"), QStringLiteral("失败"),
                    QMessageBox::Critical, true);
    }

    void lineBreaks_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("single CR") << "a\rb" << "a\nb";
        QTest::newRow("two CRs") << "a\r\rb" << "a\n\nb";
        QTest::newRow("none") << "ab" << "ab";
    }

    void lineBreaks()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QCOMPARE(msg::displayText(stored), shown);
    }

    void confirm_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("result");
        QTest::newRow("yes") << "&Yes" << true;
        QTest::newRow("no") << "&No" << false;
        QTest::newRow("escape") << "escape" << false;
        QTest::newRow("enter") << "enter" << true;
        QTest::newRow("close") << "close" << false;
    }

    void confirm()
    {
        QFETCH(QString, answer);
        QFETCH(bool, result);
        ModalWatcher watcher([answer](QWidget *modal, const ModalRecord &) {
            if (answer == QLatin1String("escape"))
                pressEscape(modal);
            else if (answer == QLatin1String("enter"))
                QTest::keyClick(modal, Qt::Key_Return);
            else if (answer == QLatin1String("close"))
                modal->close();
            else
                pressButton(modal, answer);
        });
        QCOMPARE(msg::confirm(QStringLiteral("确定吗?\r真的?")), result);
        QCOMPARE(watcher.records.size(), 1);
        const ModalRecord &box = watcher.records.first();
        QCOMPARE(box.title, QStringLiteral("Confirm"));
        QCOMPARE(box.text, QStringLiteral("确定吗?\n真的?"));
        QCOMPARE(box.icon, int(QMessageBox::Question));
        QCOMPARE(box.buttons, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
        QCOMPARE(box.defaultButton, QStringLiteral("&Yes"));
        QVERIFY(!box.hasOwner);
    }

    // --- fonts ------------------------------------------------------------

    void designedFontsShowChinese_data()
    {
        QTest::addColumn<QString>("family");
        QTest::newRow("宋体") << QStringLiteral("宋体");
        QTest::newRow("MS Sans Serif") << QStringLiteral("MS Sans Serif");
    }

    void designedFontsShowChinese()
    {
        QFETCH(QString, family);
        QFont font(family);
        font.setPixelSize(12);
        const QFontInfo info(font);
        QVERIFY2(QFontDatabase::families().contains(info.family()), qPrintable(info.family()));
        const QFontMetrics metrics(font);
        for (const QChar c : QStringLiteral("上海报盘数据库登录错误★"))
            QVERIFY2(metrics.inFont(c), qPrintable(QString(c) + QLatin1String(" in ") + info.family()));
        QVERIFY(metrics.inFont(QLatin1Char('A')));
    }

    // --- program entry ----------------------------------------------------

    // The program reads no command line: arguments the toolkit would take
    // for itself change nothing.
    void programReadsNoCommandLine()
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(SQLTOOL_PROGRAM),
                      {QStringLiteral("-platform"), QStringLiteral("no-such-platform"),
                       QStringLiteral("-style"), QStringLiteral("no-such-style")});
        QVERIFY(program.waitForStarted());
        // Still running after a while: it did not try the named platform.
        QVERIFY(!program.waitForFinished(1500));
        program.kill();
        program.waitForFinished();
    }
};

SQLTOOL_TEST_MAIN(ApplicationTest)
#include "tst_application.moc"

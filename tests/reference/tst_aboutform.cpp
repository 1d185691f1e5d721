#include "support/testsupport.h"

#include "reference/aboutform.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <memory>

using testsupport::Forms;
using testsupport::ModalWatcher;

namespace {

const QStringList labelNames = {QStringLiteral("Label1"), QStringLiteral("Label8"),
                                QStringLiteral("Label3"), QStringLiteral("Label2"),
                                QStringLiteral("Label4"), QStringLiteral("Label5")};

QLabel *label(const QString &name)
{
    return testsupport::child<QLabel>(aboutform, qPrintable(name));
}

QMap<QString, QString> labelTexts()
{
    QMap<QString, QString> texts;
    for (const QString &name : labelNames)
        texts.insert(name, label(name)->text());
    return texts;
}

// Keys as the test writes them: '\b' backspace, '\r' Enter, '\x1b' Escape,
// '^' a press and release of Shift alone; any other character is typed as
// itself.
void typeKeys(QWidget *target, const QString &keys)
{
    for (QChar key : keys) {
        switch (key.unicode()) {
        case '\b':
            QTest::keyClick(target, Qt::Key_Backspace);
            break;
        case '\r':
            QTest::keyClick(target, Qt::Key_Return);
            break;
        case 0x1b:
            QTest::keyClick(target, Qt::Key_Escape);
            break;
        case '^':
            QTest::keyClick(target, Qt::Key_Shift);
            break;
        default:
            QTest::keyClick(target, key.toLatin1());
            break;
        }
    }
}

struct Showing
{
    QMap<QString, QString> texts; // labels after the keys were typed
    bool stillOpen = false;       // the window was still shown after the keys
    QImage picture;
};

// Shows the About window modally, types the keys into target (the window
// itself or one of its labels), records the labels and closes it again.
Showing showAndType(const QString &keys, const QString &target = QString())
{
    Showing showing;
    ModalWatcher watcher([&](QWidget *modal, const testsupport::ModalRecord &) {
        QWidget *receiver = target.isEmpty() ? modal : label(target);
        typeKeys(receiver, keys);
        showing.texts = labelTexts();
        showing.stillOpen = modal->isVisible();
        showing.picture = label(QStringLiteral("Image1"))->pixmap().toImage();
        modal->close();
    });
    aboutform->exec();
    return showing;
}

bool showsContactLines(const QMap<QString, QString> &texts)
{
    return texts.value(QStringLiteral("Label1")).startsWith(QStringLiteral("作者："));
}

} // namespace

class AboutTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_forms = std::make_unique<Forms>();
        QVERIFY(aboutform);
        m_startTexts = labelTexts();
        m_picture = label(QStringLiteral("Image1"))->pixmap().toImage();
    }

    void cleanup()
    {
        m_forms.reset();
    }

    void window()
    {
        QCOMPARE(aboutform->windowTitle(), QStringLiteral("关于..."));
        QCOMPARE(aboutform->size(), QSize(276, 135));
        QCOMPARE(aboutform->minimumSize(), QSize(276, 135));
        QCOMPARE(aboutform->maximumSize(), QSize(276, 135));
        const Qt::WindowFlags flags = aboutform->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
        QCOMPARE(aboutform->font().family(), QStringLiteral("宋体"));
        QCOMPARE(aboutform->font().pointSize(), 9);

        QLabel *image = label(QStringLiteral("Image1"));
        QCOMPARE(image->pos(), QPoint(8, 8));
        QCOMPARE(image->size(), QSize(37, 35));
        QVERIFY(!image->pixmap().isNull());
        QCOMPARE(image->pixmap().size(), QSize(37, 35));

        const QList<QPair<QString, QPoint>> positions = {
            {QStringLiteral("Label1"), {55, 8}},   {QStringLiteral("Label8"), {56, 28}},
            {QStringLiteral("Label3"), {56, 48}},  {QStringLiteral("Label2"), {55, 70}},
            {QStringLiteral("Label4"), {55, 94}},  {QStringLiteral("Label5"), {110, 114}},
        };
        for (const auto &[name, position] : positions) {
            QCOMPARE(label(name)->pos(), position);
            QVERIFY2(label(name)->geometry().right() < 276, qPrintable(name));
            QVERIFY2(label(name)->geometry().bottom() < 135, qPrintable(name));
        }
    }

    void startTexts()
    {
        QCOMPARE(label(QStringLiteral("Label1"))->text(), QStringLiteral("SoftWare:QTRLKV"));
        QCOMPARE(label(QStringLiteral("Label8"))->text(), QStringLiteral("Version:1.3 Blild 40428"));

        const QString support = label(QStringLiteral("Label3"))->text();
        QVERIFY(support.startsWith(QStringLiteral("Tech Support:")));
        const QStringList names = support.mid(13).split(QStringLiteral("、"));
        QCOMPARE(names.size(), 3);
        for (const QString &name : names)
            QVERIFY(!name.isEmpty());

        const QString author = label(QStringLiteral("Label2"))->text();
        QVERIFY(author.startsWith(QStringLiteral("程式编写:")));
        QVERIFY(author.size() > 5);

        const QString testers = label(QStringLiteral("Label4"))->text();
        QVERIFY(testers.startsWith(QStringLiteral("感谢测试:")));
        QVERIFY(testers.size() > 5);
        QVERIFY(!label(QStringLiteral("Label5"))->text().isEmpty());
    }

    void keyPressHandler_data()
    {
        QTest::addColumn<QChar>("typed");
        QTest::addColumn<QChar>("passed");
        for (char c : QByteArray("zqkfeR"))
            QTest::addRow("%c", c) << QChar::fromLatin1(c) << QChar::fromLatin1(c);
        QTest::newRow("backspace") << QChar(8) << QChar(8);
        QTest::newRow("carriage return") << QChar(13) << QChar(13);
        for (char c : QByteArray("rZQKFEa1 .")) {
            QTest::addRow("%c", c) << QChar::fromLatin1(c) << QChar(0);
        }
        QTest::newRow("escape") << QChar(27) << QChar(0);
        QTest::newRow("tab") << QChar(9) << QChar(0);
        QTest::newRow("line feed") << QChar(10) << QChar(0);
        QTest::newRow("chinese") << QChar(0x4E2D) << QChar(0);
    }

    void keyPressHandler()
    {
        QFETCH(QChar, typed);
        QFETCH(QChar, passed);
        QChar key = typed;
        aboutform->FormKeyPress(key);
        QCOMPARE(key, passed);
    }

    void keyCode_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("shown");

        const QString window;
        const QString child = QStringLiteral("Label3");
        QTest::newRow("code") << QStringLiteral("zqkfeR") << window << true;
        QTest::newRow("code typed on a label") << QStringLiteral("zqkfeR") << child << true;
        QTest::newRow("code then more keys") << QStringLiteral("zqkfeRzq\bx") << window << true;
        QTest::newRow("shift alone does not count") << QStringLiteral("zqkfe^R") << window << true;
        QTest::newRow("too short") << QStringLiteral("zqkfe") << window << false;
        QTest::newRow("wrong case") << QStringLiteral("zqkfer") << window << false;
        QTest::newRow("wrong case, then the code")
            << QStringLiteral("Zqkfe" "Rzqkfe" "R") << window << false;
        QTest::newRow("wrong case, then the code, on a label")
            << QStringLiteral("zqkfer" "zqkfe" "R") << child << false;
        QTest::newRow("other key first") << QStringLiteral("xzqkfeR") << window << false;
        QTest::newRow("key of the code first") << QStringLiteral("zzqkfeR") << window << false;
        QTest::newRow("backspace first") << QStringLiteral("\bzqkfeR") << window << false;
        QTest::newRow("backspace to correct")
            << QStringLiteral("zqkfer\bR") << window << false;
        QTest::newRow("enter first") << QStringLiteral("\rzqkfeR") << window << false;
        QTest::newRow("blank first") << QStringLiteral(" zqkfeR") << window << false;
        QTest::newRow("escape first") << QStringLiteral("\x1bzqkfeR") << window << false;
    }

    // The keys typed right after the window is shown, and at the next showing
    // the code alone.
    void keyCode()
    {
        QFETCH(QString, keys);
        QFETCH(QString, target);
        QFETCH(bool, shown);

        const Showing first = showAndType(keys, target);
        // A swallowed key (Escape included) does not close the window.
        QVERIFY(first.stillOpen);
        QCOMPARE(first.picture, m_picture);
        if (shown) {
            checkContactLines(first.texts);
            return;
        }
        QCOMPARE(first.texts, m_startTexts);
        QCOMPARE(labelTexts(), m_startTexts);

        // Shown again, the code typed at once works.
        const Showing second = showAndType(QStringLiteral("zqkfeR"), target);
        checkContactLines(second.texts);
        QCOMPARE(second.picture, m_picture);
    }

    // Once shown, the contact lines stay for the rest of the run.
    void contactLinesStay()
    {
        const Showing first = showAndType(QStringLiteral("zqkfeR"));
        checkContactLines(first.texts);

        const Showing again = showAndType(QStringLiteral("zqkfeR"));
        QCOMPARE(again.texts, first.texts);
        const Showing other = showAndType(QStringLiteral("abc\b\r"));
        QCOMPARE(other.texts, first.texts);
        QCOMPARE(labelTexts(), first.texts);
        QCOMPARE(other.picture, m_picture);
    }

private:
    void checkContactLines(const QMap<QString, QString> &texts)
    {
        QVERIFY(showsContactLines(texts));
        const QList<QPair<QString, QString>> prefixes = {
            {QStringLiteral("Label1"), QStringLiteral("作者：")},
            {QStringLiteral("Label8"), QStringLiteral("电话：")},
            {QStringLiteral("Label2"), QStringLiteral("QQ号：")},
            {QStringLiteral("Label4"), QStringLiteral("邮箱：")},
        };
        for (const auto &[name, prefix] : prefixes) {
            const QString text = texts.value(name);
            QVERIFY2(text.startsWith(prefix), qPrintable(name + QLatin1Char(' ') + text));
            QVERIFY2(text.size() > prefix.size(), qPrintable(name));
        }
        QVERIFY(texts.value(QStringLiteral("Label4")).contains(QLatin1Char('@')));
        QCOMPARE(texts.value(QStringLiteral("Label3")), QString());
        QCOMPARE(texts.value(QStringLiteral("Label5")), QString());
    }

    std::unique_ptr<Forms> m_forms;
    QMap<QString, QString> m_startTexts;
    QImage m_picture;
};

SQLTOOL_TEST_MAIN(AboutTest)
#include "tst_aboutform.moc"

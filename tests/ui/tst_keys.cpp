#include "query/querytestsupport.h"

#include "ui/keys.h"

#include <QSignalSpy>

using namespace querytest;

namespace {

enum Filter { Account, Digits, Price, Side };

// What each filter lets through, written out from the filter table.
bool passes(Filter filter, QChar c)
{
    const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const bool capital = c >= QLatin1Char('A') && c <= QLatin1Char('Z');
    const bool backspaceOrEnter = c.unicode() == 8 || c.unicode() == 13;
    switch (filter) {
    case Account:
        return digit || capital || backspaceOrEnter;
    case Digits:
        return digit || backspaceOrEnter;
    case Price:
        return digit || c == QLatin1Char('.') || backspaceOrEnter;
    case Side:
        return c == QLatin1Char('B') || c == QLatin1Char('S');
    }
    return false;
}

keyfilters::KeyPress function(Filter filter)
{
    switch (filter) {
    case Account:
        return keyfilters::Edit1KeyPress;
    case Digits:
        return keyfilters::Edit7KeyPress;
    case Price:
        return keyfilters::Edit15KeyPress;
    case Side:
        return keyfilters::Edit13KeyPress;
    }
    return nullptr;
}

// The typed sample: digits, capitals, lower case, the point, blanks,
// punctuation, full-width and Chinese characters.
const QString Sample = QStringLiteral("09AZBSaz.bs -+,%_\u00096中０Ｂ");

} // namespace

Q_DECLARE_METATYPE(Filter)

class KeyFiltersTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_forms = std::make_unique<testsupport::Forms>(); queryform->show(); }
    void cleanup() { m_forms.reset(); }

    // Every character of the sample and the control characters 0..31 and
    // 127, through each of the four filters.
    void plainFilters_data()
    {
        QTest::addColumn<Filter>("filter");
        QTest::newRow("Edit1KeyPress") << Account;
        QTest::newRow("Edit7KeyPress") << Digits;
        QTest::newRow("Edit15KeyPress") << Price;
        QTest::newRow("Edit13KeyPress") << Side;
    }
    void plainFilters()
    {
        QFETCH(Filter, filter);
        QString characters = Sample;
        for (char16_t c = 0; c < 32; ++c)
            characters += QChar(c);
        characters += QChar(127);
        for (char16_t c = 'A'; c <= 'Z'; ++c)
            characters += QChar(c);
        for (char16_t c = 'a'; c <= 'z'; ++c)
            characters += QChar(c);
        for (QChar c : characters) {
            QChar key = c;
            function(filter)(key);
            if (passes(filter, c))
                QVERIFY2(key == c, qPrintable(QStringLiteral("U+%1 changed").arg(c.unicode(), 4, 16)));
            else
                QVERIFY2(key.isNull(), qPrintable(QStringLiteral("U+%1 let through").arg(c.unicode(), 4, 16)));
        }
    }

    // Typing the sample into each condition box leaves exactly the
    // characters its filter lets through, up to its maximum length.
    void typedIntoBoxes_data()
    {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<Filter>("filter");
        QTest::addColumn<int>("maxLength"); // 0: none
        QTest::newRow("Edit1") << "Edit1" << Account << 10;
        QTest::newRow("Edit2") << "Edit2" << Digits << 6;
        QTest::newRow("Edit3") << "Edit3" << Digits << 6;
        QTest::newRow("Edit4") << "Edit4" << Digits << 6;
        QTest::newRow("Edit5") << "Edit5" << Digits << 6;
        QTest::newRow("Edit6") << "Edit6" << Digits << 6;
        QTest::newRow("Edit7") << "Edit7" << Digits << 0;
        QTest::newRow("Edit8") << "Edit8" << Digits << 0;
        QTest::newRow("Edit11") << "Edit11" << Side << 1;
        QTest::newRow("Edit9") << "Edit9" << Account << 10;
        QTest::newRow("Edit10") << "Edit10" << Digits << 6;
        QTest::newRow("Edit14") << "Edit14" << Digits << 0;
        QTest::newRow("Edit15") << "Edit15" << Price << 0;
        QTest::newRow("Edit13") << "Edit13" << Side << 1;
        QTest::newRow("Edit16") << "Edit16" << Account << 10;
        QTest::newRow("Edit17") << "Edit17" << Digits << 6;
        QTest::newRow("Edit18") << "Edit18" << Digits << 0;
        QTest::newRow("Edit19") << "Edit19" << Digits << 0;
        QTest::newRow("Edit20") << "Edit20" << Price << 0;
        QTest::newRow("Edit21") << "Edit21" << Side << 1;
    }
    void typedIntoBoxes()
    {
        QFETCH(QString, boxName);
        QFETCH(Filter, filter);
        QFETCH(int, maxLength);

        QString typed = Sample + QStringLiteral("1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ.0123456789");
        QString expected;
        for (QChar c : typed) {
            if (passes(filter, c))
                expected += c;
        }
        if (maxLength > 0)
            expected.truncate(maxLength);

        QLineEdit *edit = box(boxName);
        QVERIFY(edit->text().isEmpty());
        type(boxName, typed);
        QCOMPARE(edit->text(), expected);
    }

    // Backspace erases in the boxes of the first three filters, not in the
    // side boxes, where only Delete (which types no character) erases.
    void backspace_data()
    {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("afterBackspace");
        QTest::newRow("Edit1") << "Edit1" << "A1" << "A";
        QTest::newRow("Edit2") << "Edit2" << "60" << "6";
        QTest::newRow("Edit15") << "Edit15" << "1." << "1";
        QTest::newRow("Edit11") << "Edit11" << "B" << "B";
        QTest::newRow("Edit13") << "Edit13" << "S" << "S";
        QTest::newRow("Edit21") << "Edit21" << "B" << "B";
    }
    void backspace()
    {
        QFETCH(QString, boxName);
        QFETCH(QString, typed);
        QFETCH(QString, afterBackspace);
        type(boxName, typed);
        QLineEdit *edit = box(boxName);
        QCOMPARE(edit->text(), typed);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), afterBackspace);
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Delete);
        QCOMPARE(edit->text(), afterBackspace.mid(1));
    }

    // Enter reaches the first three kinds of box and is swallowed by the
    // side boxes; in no box does it press a button of the window.
    void enter_data()
    {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<bool>("reachesBox");
        QTest::newRow("Edit1") << "Edit1" << true;
        QTest::newRow("Edit3") << "Edit3" << true;
        QTest::newRow("Edit15") << "Edit15" << true;
        QTest::newRow("Edit11") << "Edit11" << false;
        QTest::newRow("Edit21") << "Edit21" << false;
    }
    void enter()
    {
        QFETCH(QString, boxName);
        QFETCH(bool, reachesBox);
        QLineEdit *edit = box(boxName);
        showPageOf(edit);
        edit->setFocus();
        QSignalSpy returnPressed(edit, &QLineEdit::returnPressed);
        // Not logged in: a list command pressed by Enter would fail loudly.
        testsupport::ModalWatcher watcher;
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter);
        QTest::qWait(30);
        QCOMPARE(returnPressed.count(), reachesBox ? 2 : 0);
        QCOMPARE(watcher.records.size(), 0);
        QVERIFY(labelText("Label12").isEmpty());
        QVERIFY(labelText("Label15").isEmpty());
        QVERIFY(labelText("Label39").isEmpty());
    }

    // The filters look at typed characters only: text set otherwise is
    // not re-checked, and "重添条件" empties the side box.
    void onlyTypedCharactersAreFiltered()
    {
        QLineEdit *edit = box(QStringLiteral("Edit7"));
        edit->setText(QStringLiteral("a.b"));
        QCOMPARE(edit->text(), QStringLiteral("a.b"));
        showPageOf(edit);
        edit->setFocus();
        edit->end(false);
        typeCharacters(edit, QStringLiteral("1x"));
        QCOMPARE(edit->text(), QStringLiteral("a.b1"));

        QLineEdit *side = box(QStringLiteral("Edit11"));
        type(QStringLiteral("Edit11"), QStringLiteral("S"));
        QCOMPARE(side->text(), QStringLiteral("S"));
        click(QStringLiteral("Button3"));
        QCOMPARE(side->text(), QString());
        QCOMPARE(edit->text(), QString());
    }

private:
    std::unique_ptr<testsupport::Forms> m_forms;
};

SQLTOOL_TEST_MAIN(KeyFiltersTest)
#include "tst_keys.moc"

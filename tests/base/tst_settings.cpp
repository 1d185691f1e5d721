#include "support/properties.h"
#include "support/testcore.h"

#include "base/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace settings;
using namespace testsupport;

namespace {

// "本地上海报盘数据库" in GBK, written out byte by byte.
const QByteArray GbkDescription = QByteArray::fromHex("b1beb5d8c9cfbaa3b1a8c5cccafdbeddbfe2");
const QString Description = QStringLiteral("本地上海报盘数据库");
const QString Ini = QStringLiteral("ConDBSet"); // the settings section

QString errorText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const SettingsError &error) {
        return QString::fromUtf8(error.what());
    }
    return QStringLiteral("<no error>");
}

QString writeFailedText(const QString &path)
{
    return QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(path);
}

// True when permission bits stop this process (they do not stop root).
bool permissionsApply(const QString &dir)
{
    const QString probe = dir + QStringLiteral("/probe");
    writeFile(probe, "x");
    QFile::setPermissions(probe, QFile::ReadOwner);
    QFile file(probe);
    const bool stopped = !file.open(QIODevice::WriteOnly | QIODevice::Append);
    file.close();
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(probe);
    return stopped;
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeDbset(); }
    void cleanup() { removeDbset(); }

    // --- reading -------------------------------------------------------

    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no file") << QByteArray() << "DSN" << "dflt";
        QTest::newRow("plain") << QByteArray("[ConDBSet]\r\nDSN=abc\r\n") << "DSN" << "abc";
        QTest::newRow("bare LF lines")
            << QByteArray("[ConDBSet]\nSQLUser=u\nDSN=abc\n") << "DSN" << "abc";
        QTest::newRow("bare CR lines")
            << QByteArray("[ConDBSet]\rSQLUser=u\rDSN=abc\r") << "DSN" << "abc";
        QTest::newRow("section case") << QByteArray("[condbset]\r\nDSN=abc\r\n") << "DSN" << "abc";
        QTest::newRow("key case") << QByteArray("[CONDBSET]\r\ndsn=abc\r\n") << "Dsn" << "abc";
        QTest::newRow("blanks around value")
            << QByteArray("[ConDBSet]\r\nDSN = \t abc def \t \r\n") << "DSN" << "abc def";
        QTest::newRow("blanks around key")
            << QByteArray("[ConDBSet]\r\n  \tDSN\t =abc\r\n") << "DSN" << "abc";
        QTest::newRow("blanks in header")
            << QByteArray("  [ ConDBSet ]  \r\nDSN=abc\r\n") << "DSN" << "abc";
        QTest::newRow("double quotes")
            << QByteArray("[ConDBSet]\r\nDSN=\" a b \"\r\n") << "DSN" << " a b ";
        QTest::newRow("single quotes")
            << QByteArray("[ConDBSet]\r\nDSN='abc'\r\n") << "DSN" << "abc";
        QTest::newRow("one pair only")
            << QByteArray("[ConDBSet]\r\nDSN=\"\"abc\"\"\r\n") << "DSN" << "\"abc\"";
        QTest::newRow("unmatched quote")
            << QByteArray("[ConDBSet]\r\nDSN=\"abc\r\n") << "DSN" << "\"abc";
        QTest::newRow("mixed quotes")
            << QByteArray("[ConDBSet]\r\nDSN=\"abc'\r\n") << "DSN" << "\"abc'";
        QTest::newRow("lone quote") << QByteArray("[ConDBSet]\r\nDSN=\"\r\n") << "DSN" << "\"";
        QTest::newRow("empty quotes") << QByteArray("[ConDBSet]\r\nDSN=\"\"\r\n") << "DSN" << "";
        QTest::newRow("empty value") << QByteArray("[ConDBSet]\r\nSQLUser=\r\n") << "SQLUser" << "";
        QTest::newRow("blank value")
            << QByteArray("[ConDBSet]\r\nSQLUser=   \r\n") << "SQLUser" << "";
        QTest::newRow("missing key")
            << QByteArray("[ConDBSet]\r\nDSN=abc\r\n") << "SQLUser" << "dflt";
        QTest::newRow("missing section") << QByteArray("[Other]\r\nDSN=abc\r\n") << "DSN" << "dflt";
        QTest::newRow("key in a later section")
            << QByteArray("[ConDBSet]\r\nA=1\r\n[Other]\r\nDSN=abc\r\n") << "DSN" << "dflt";
        QTest::newRow("key before any section")
            << QByteArray("DSN=abc\r\n[ConDBSet]\r\nA=1\r\n") << "DSN" << "dflt";
        QTest::newRow("first duplicate key wins")
            << QByteArray("[ConDBSet]\r\nDSN=one\r\nDSN=two\r\n") << "DSN" << "one";
        QTest::newRow("first duplicate section wins")
            << QByteArray("[ConDBSet]\r\nDSN=one\r\n[ConDBSet]\r\nDSN=two\r\n") << "DSN" << "one";
        QTest::newRow("second duplicate section unused")
            << QByteArray("[ConDBSet]\r\nA=1\r\n[CONDBSET]\r\nDSN=two\r\n") << "DSN" << "dflt";
        QTest::newRow("comment line is no key")
            << QByteArray("[ConDBSet]\r\n;DSN=comment\r\nDSN=abc\r\n") << "DSN" << "abc";
        QTest::newRow("commented key alone")
            << QByteArray("[ConDBSet]\r\n; DSN=comment\r\n") << "DSN" << "dflt";
        QTest::newRow("line without = names no value")
            << QByteArray("[ConDBSet]\r\nDSN\r\n") << "DSN" << "dflt";
        QTest::newRow("value holds =") << QByteArray("[ConDBSet]\r\nDSN=a=b\r\n") << "DSN" << "a=b";
        QTest::newRow("value holds ; and [")
            << QByteArray("[ConDBSet]\r\nDSN=a;b [c]\r\n") << "DSN" << "a;b [c]";
        QTest::newRow("header with trailing text")
            << QByteArray("[ConDBSet] ; note\r\nDSN=abc\r\n") << "DSN" << "abc";
        QTest::newRow("header without ]")
            << QByteArray("[ConDBSet\r\nDSN=abc\r\n") << "DSN" << "dflt";
        QTest::newRow("GBK value") << QByteArray("[ConDBSet]\r\nDSN_Description=" + GbkDescription + "\r\n")
                                   << "DSN_Description" << Description;
        QTest::newRow("invalid GBK elsewhere")
            << QByteArray("[X]\r\nA=\x81\x0d\xff\xfe\x80\r\n[ConDBSet]\r\nDSN=abc\r\n") << "DSN"
            << "abc";
        QTest::newRow("NUL ends a value")
            << QByteArray("[ConDBSet]\r\nDSN=ab\0cd\r\n", 23) << "DSN" << "ab";
        QTest::newRow("NUL on another line")
            << QByteArray("[ConDBSet]\r\nA=\0\0\0\r\nDSN=abc\r\n", 28) << "DSN" << "abc";
        QTest::newRow("no final line break")
            << QByteArray("[ConDBSet]\r\nDSN=abc") << "DSN" << "abc";
        QTest::newRow("UTF-8 byte-order mark")
            << QByteArray("\xEF\xBB\xBF[ConDBSet]\r\nDSN_Description=") + Description.toUtf8()
                   + QByteArray("\r\n")
            << "DSN_Description" << Description;
        QTest::newRow("empty key name") << QByteArray("[ConDBSet]\r\n=abc\r\n") << "" << "dflt";
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(profileRead(content, Ini, key, QStringLiteral("dflt")), expected);
    }

    void readDefaultLosesTrailingBlanks()
    {
        QCOMPARE(profileRead({}, Ini, QStringLiteral("DSN"), QStringLiteral("a b  ")),
                 QStringLiteral("a b"));
    }

    void readCapsLongValues_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expectedLength");
        QTest::newRow("2047") << QByteArray(2047, 'x') << 2047;
        QTest::newRow("2048") << QByteArray(2048, 'x') << 2047;
        QTest::newRow("1 MB") << QByteArray(1 << 20, 'x') << 2047;
        QTest::newRow("quoted 2047") << QByteArray('"' + QByteArray(2047, 'x') + '"') << 2047;
        QTest::newRow("quoted 3000") << QByteArray('"' + QByteArray(3000, 'x') + '"') << 2047;
    }

    void readCapsLongValues()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expectedLength);
        const QString read =
            profileRead("[ConDBSet]\r\nDSN=" + value + "\r\n", Ini, QStringLiteral("DSN"), {});
        QCOMPARE(read, QString(expectedLength, QLatin1Char('x')));
    }

    void readOneMegabyteLine()
    {
        const QByteArray big(1 << 20, '\xB1');
        const QByteArray content = "[ConDBSet]\r\nJunk=" + big + "\r\nDSN=abc\r\n" + big;
        QCOMPARE(profileRead(content, Ini, QStringLiteral("DSN"), {}), QStringLiteral("abc"));
    }

    // The four settings read from the file beside the executable, with their
    // defaults for a missing file, section or key.
    void readConDbSetDefaults_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("no file") << false << QByteArray();
        QTest::newRow("empty file") << true << QByteArray();
        QTest::newRow("other section") << true << QByteArray("[Other]\r\nDSN=x\r\nSQLUser=y\r\n");
        QTest::newRow("section without keys") << true << QByteArray("[ConDBSet]\r\n");
    }

    void readConDbSetDefaults()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        if (exists)
            writeDbset(content);
        const ConDbSet values = readConDbSet();
        QCOMPARE(values.user, QStringLiteral("qtrl"));
        QCOMPARE(values.dsn, QStringLiteral("sse"));
        QCOMPARE(values.database, QStringLiteral("OIW"));
        QCOMPARE(values.description, Description);
        // Reading writes nothing.
        QCOMPARE(QFileInfo::exists(dbsetPath()), exists);
        if (exists)
            QCOMPARE(readDbset(), content);
    }

    void readConDbSetFromFile()
    {
        writeDbset("[ConDBSet]\r\nSQLUser=\r\nDSN=other\r\nDATABASE=DB2\r\n"
                                "DSN_Description=" + GbkDescription + "\r\n");
        const ConDbSet values = readConDbSet();
        QCOMPARE(values.user, QString()); // present but empty: not the default
        QCOMPARE(values.dsn, QStringLiteral("other"));
        QCOMPARE(values.database, QStringLiteral("DB2"));
        QCOMPARE(values.description, Description);
        QCOMPARE(readSetting(Ini, QStringLiteral("dsn"), QStringLiteral("z")),
                 QStringLiteral("other"));
    }

    void readIgnoresCurrentDirectory()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        writeFile(dir.path() + QStringLiteral("/dbset.ini"), "[ConDBSet]\r\nDSN=fromcwd\r\n");
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const QString dsn = readConDbSet().dsn;
        QDir::setCurrent(previous);
        QCOMPARE(dsn, QStringLiteral("sse"));
    }

    void unreadableFileReadsDefaults()
    {
        QVERIFY(QDir().mkpath(dbsetPath()));
        const QString dsn = readConDbSet().dsn;
        QDir().rmdir(dbsetPath());
        QCOMPARE(dsn, QStringLiteral("sse"));
    }

    // --- writing -------------------------------------------------------

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("new file") << QByteArray() << "DSN" << "abc"
                                  << QByteArray("[ConDBSet]\r\nDSN=abc\r\n");
        QTest::newRow("replace in place")
            << QByteArray("[ConDBSet]\r\nSQLUser=u\r\nDSN=old\r\nDATABASE=d\r\n") << "DSN" << "new"
            << QByteArray("[ConDBSet]\r\nSQLUser=u\r\nDSN=new\r\nDATABASE=d\r\n");
        QTest::newRow("replace keeps the key's spelling")
            << QByteArray("[condbset]\r\n  dsn = old value  \r\n") << "DSN" << "new"
            << QByteArray("[condbset]\r\n  dsn =new\r\n");
        QTest::newRow("replace keeps bare LF")
            << QByteArray("[ConDBSet]\nDSN=old\nX=1\n") << "DSN" << "new"
            << QByteArray("[ConDBSet]\nDSN=new\nX=1\n");
        QTest::newRow("replace last line without break")
            << QByteArray("[ConDBSet]\r\nDSN=old") << "DSN" << "new"
            << QByteArray("[ConDBSet]\r\nDSN=new");
        QTest::newRow("replace first of duplicates")
            << QByteArray("[ConDBSet]\r\nDSN=1\r\nDSN=2\r\n") << "DSN" << "x"
            << QByteArray("[ConDBSet]\r\nDSN=x\r\nDSN=2\r\n");
        QTest::newRow("key line without =")
            << QByteArray("[ConDBSet]\r\nDSN  \r\nX=1\r\n") << "DSN" << "x"
            << QByteArray("[ConDBSet]\r\nDSN=x\r\nX=1\r\n");
        QTest::newRow("append key at end of section")
            << QByteArray("[ConDBSet]\r\nA=1\r\n; note\r\n\r\n[Other]\r\nB=2\r\n") << "DSN" << "x"
            << QByteArray("[ConDBSet]\r\nA=1\r\n; note\r\nDSN=x\r\n\r\n[Other]\r\nB=2\r\n");
        QTest::newRow("append key to empty section")
            << QByteArray("[ConDBSet]\r\n[Other]\r\n") << "DSN" << "x"
            << QByteArray("[ConDBSet]\r\nDSN=x\r\n[Other]\r\n");
        QTest::newRow("append key after header without break")
            << QByteArray("[ConDBSet]") << "DSN" << "x" << QByteArray("[ConDBSet]\r\nDSN=x\r\n");
        QTest::newRow("append key to first of duplicate sections")
            << QByteArray("[ConDBSet]\r\nA=1\r\n[ConDBSet]\r\nDSN=2\r\n") << "DSN" << "x"
            << QByteArray("[ConDBSet]\r\nA=1\r\nDSN=x\r\n[ConDBSet]\r\nDSN=2\r\n");
        QTest::newRow("append section")
            << QByteArray("[Other]\r\nB=2\r\n") << "DSN" << "x"
            << QByteArray("[Other]\r\nB=2\r\n[ConDBSet]\r\nDSN=x\r\n");
        QTest::newRow("append section after last line without break")
            << QByteArray("[Other]\r\nB=2") << "DSN" << "x"
            << QByteArray("[Other]\r\nB=2\r\n[ConDBSet]\r\nDSN=x\r\n");
        QTest::newRow("commented key stays")
            << QByteArray("[ConDBSet]\r\n;DSN=old\r\n") << "DSN" << "x"
            << QByteArray("[ConDBSet]\r\n;DSN=old\r\nDSN=x\r\n");
        QTest::newRow("DSN list entries stay")
            << QByteArray("DSNDst1=a,b.c..d\r\n[ConDBSet]\r\nDSNDst2=e,f.g..h\r\nDSN=old\r\n"
                          "[DSNDst]\r\nDSNDst3=i,j.k..l\r\n")
            << "DSN" << "new"
            << QByteArray("DSNDst1=a,b.c..d\r\n[ConDBSet]\r\nDSNDst2=e,f.g..h\r\nDSN=new\r\n"
                          "[DSNDst]\r\nDSNDst3=i,j.k..l\r\n");
        QTest::newRow("GBK value") << QByteArray() << "DSN_Description" << Description
                                   << QByteArray("[ConDBSet]\r\nDSN_Description=" + GbkDescription
                                                 + "\r\n");
        QTest::newRow("empty value") << QByteArray("[ConDBSet]\r\nSQLUser=qtrl\r\n") << "SQLUser" << ""
                                     << QByteArray("[ConDBSet]\r\nSQLUser=\r\n");
        QTest::newRow("leading blanks not written")
            << QByteArray() << "DSN" << "  a b " << QByteArray("[ConDBSet]\r\nDSN=a b \r\n");
        QTest::newRow("line break ends the value")
            << QByteArray("[ConDBSet]\r\nDSN=old\r\n") << "DSN" << "a\r\n[Evil]\r\nX=1"
            << QByteArray("[ConDBSet]\r\nDSN=a\r\n");
        QTest::newRow("invalid GBK elsewhere kept")
            << QByteArray("[X]\r\nA=\x81\xff\x80\x81\r\n[ConDBSet]\r\nDSN=1\r\n") << "DSN" << "2"
            << QByteArray("[X]\r\nA=\x81\xff\x80\x81\r\n[ConDBSet]\r\nDSN=2\r\n");
        QTest::newRow("NUL bytes elsewhere kept")
            << QByteArray("A\0B\r\n[ConDBSet]\r\nX=\0\r\nDSN=1\r\n", 29) << "DSN" << "2"
            << QByteArray("A\0B\r\n[ConDBSet]\r\nX=\0\r\nDSN=2\r\n", 29);
        QTest::newRow("UTF-8 file stays UTF-8")
            << QByteArray("\xEF\xBB\xBF[ConDBSet]\r\nDSN=1\r\n") << "DSN_Description" << Description
            << QByteArray("\xEF\xBB\xBF[ConDBSet]\r\nDSN=1\r\nDSN_Description=")
                   + Description.toUtf8() + QByteArray("\r\n");
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const QByteArray written = profileWrite(before, Ini, key, value);
        QCOMPARE(written, after);
    }

    void writeReadsBack_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("abc");
        QTest::newRow("chinese") << Description;
        QTest::newRow("empty") << QString();
        QTest::newRow("inner blanks") << QStringLiteral("a  b");
        QTest::newRow("semicolon and brackets") << QStringLiteral(";[x]=y");
    }

    void writeReadsBack()
    {
        QFETCH(QString, value);
        const QByteArray before("[ConDBSet]\r\nDSN=old\r\n");
        const QByteArray written = profileWrite(before, Ini, QStringLiteral("DSN"), value);
        QCOMPARE(profileRead(written, Ini, QStringLiteral("DSN"), QStringLiteral("dflt")), value);
    }

    void writeKeepsOneMegabyteLine()
    {
        QByteArray big(1 << 20, 'x');
        big[100] = '\xB1';
        big[5000] = '\0';
        const QByteArray before = "[A]\r\nBig=" + big + "\r\n[ConDBSet]\r\nDSN=1";
        const QByteArray after = profileWrite(before, Ini, QStringLiteral("DSN"), QStringLiteral("2"));
        QCOMPARE(after, "[A]\r\nBig=" + big + "\r\n[ConDBSet]\r\nDSN=2");
    }

    void writeConDbSetCreatesFile()
    {
        writeConDbSet({QStringLiteral("qtrl"), QStringLiteral("sse"), QStringLiteral("OIW"), Description});
        QCOMPARE(readDbset(),
                 QByteArray("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\nDATABASE=OIW\r\n"
                            "DSN_Description=" + GbkDescription + "\r\n"));
    }

    void writeConDbSetKeepsOtherLines()
    {
        const QByteArray before =
            "; settings\r\nDSNDst0=top,sse.qtrl..OIW\r\n[ConDBSet]\r\nDSN_Description=old\r\n"
            "DSN=old\r\nDSNDst1=desc,dsn.user..db\r\nDATABASE=old\r\n\r\n[Other]\r\nSQLUser=keep\r\n"
            "DSNDst2=" + GbkDescription + ",x.y..z";
        writeDbset(before);
        writeConDbSet({QStringLiteral("u1"), QStringLiteral("d1"), QStringLiteral("b1"), QString()});
        QCOMPARE(readDbset(),
                 QByteArray("; settings\r\nDSNDst0=top,sse.qtrl..OIW\r\n[ConDBSet]\r\nDSN_Description=\r\n"
                            "DSN=d1\r\nDSNDst1=desc,dsn.user..db\r\nDATABASE=b1\r\nSQLUser=u1\r\n\r\n"
                            "[Other]\r\nSQLUser=keep\r\nDSNDst2=" + GbkDescription + ",x.y..z"));
        const ConDbSet read = readConDbSet();
        QCOMPARE(read.user, QStringLiteral("u1"));
        QCOMPARE(read.description, QString());
    }

    void writeSettingThroughPath()
    {
        writeSetting(Ini, QStringLiteral("DATABASE"), QStringLiteral("X1"));
        QCOMPARE(readDbset(), QByteArray("[ConDBSet]\r\nDATABASE=X1\r\n"));
    }

    // The new content replaces the file in one step: whoever had the old
    // file open keeps reading the old content, and no temporary is left.
    void writeReplacesFileAtomically()
    {
#ifndef Q_OS_UNIX
        QSKIP("an open file cannot be replaced on this platform");
#else
        const QByteArray before("[ConDBSet]\r\nDSN=old\r\n");
        writeDbset(before);
        QFile old(dbsetPath());
        QVERIFY(old.open(QIODevice::ReadOnly));
        const QStringList filesBefore = QFileInfo(dbsetPath()).dir().entryList(QDir::Files);
        writeSetting(Ini, QStringLiteral("DSN"), QStringLiteral("new"));
        QCOMPARE(old.readAll(), before);
        QCOMPARE(readDbset(), QByteArray("[ConDBSet]\r\nDSN=new\r\n"));
        QCOMPARE(QFileInfo(dbsetPath()).dir().entryList(QDir::Files), filesBefore);
#endif
    }

    void writeKeepsPermissions()
    {
        writeDbset("[ConDBSet]\r\nDSN=old\r\n");
        const QFile::Permissions wanted = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(dbsetPath(), wanted));
        const QFile::Permissions before = QFileInfo(dbsetPath()).permissions();
        writeSetting(Ini, QStringLiteral("DSN"), QStringLiteral("new"));
        QCOMPARE(QFileInfo(dbsetPath()).permissions(), before);
    }

    // A write that fails midway (here: the file size limit is reached)
    // leaves the file as the earlier keys made it, whole, and the later keys
    // are not attempted.
    void writeStopsAtFailingKey()
    {
#ifndef Q_OS_UNIX
        QSKIP("needs a file size limit");
#else
        const QByteArray before("[ConDBSet]\r\nSQLUser=old\r\nDSN=old\r\nDATABASE=old\r\n"
                                "DSN_Description=old\r\n");
        writeDbset(before);
        const QStringList filesBefore = QFileInfo(dbsetPath()).dir().entryList(QDir::Files);
        // The database value is too big for the limit.
        const ConDbSet values{QStringLiteral("u1"), QStringLiteral("d1"),
                              QString(64 * 1024, QLatin1Char('x')), QStringLiteral("d2")};

        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 16 * 1024;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const QString text = errorText([&values] { writeConDbSet(values); });
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(text, writeFailedText(dbsetPath()));
        QCOMPARE(readDbset(),
                 QByteArray("[ConDBSet]\r\nSQLUser=u1\r\nDSN=d1\r\nDATABASE=old\r\n"
                            "DSN_Description=old\r\n"));
        QCOMPARE(QFileInfo(dbsetPath()).dir().entryList(QDir::Files), filesBefore);
#endif
    }

    void writeFailsWhenPathIsFolder()
    {
        QVERIFY(QDir().mkpath(dbsetPath()));
        const QString text = errorText([] {
            writeSetting(Ini, QStringLiteral("DSN"), QStringLiteral("x"));
        });
        const QStringList inside = QDir(dbsetPath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
        QDir().rmdir(dbsetPath());
        QCOMPARE(text, writeFailedText(dbsetPath()));
        QVERIFY(inside.isEmpty());
    }

    void writeFailsWhenFolderIsFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString notAFolder = dir.path() + QStringLiteral("/plain");
        writeFile(notAFolder, "x");
        const QString path = notAFolder + QStringLiteral("/dbset.ini");
        const QString text = errorText([&] {
            writeSettingFile(path, Ini, QStringLiteral("DSN"), QStringLiteral("x"));
        });
        QCOMPARE(text, writeFailedText(path));
        QCOMPARE(readFile(notAFolder), QByteArray("x"));
    }

    // Permission bits on the file forbid the write; a folder that takes no
    // new files (write access on the file alone) only loses the atomic
    // replace: the file is written in place. Root runs these as nobody.
    void writeUnderPermissions_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("written");
        QTest::newRow("read-only file") << false << false;
        QTest::newRow("read-only folder") << true << true;
    }

    void writeUnderPermissions()
    {
        QFETCH(bool, folder);
        QFETCH(bool, written);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (!permissionsApply(dir.path())) {
            if (!canRunAsNobody())
                QSKIP("permission bits do not stop this user");
            const QString failure = runCaseAsNobody(QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char(':')
                                                    + QString::fromLatin1(QTest::currentDataTag()));
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            return;
        }
        const QString path = dir.path() + QStringLiteral("/dbset.ini");
        const QByteArray before("[ConDBSet]\r\nDSN=old\r\n");
        writeFile(path, before);
        const QString locked = folder ? dir.path() : path;
        const QFile::Permissions permissions = QFileInfo(locked).permissions();
        QFile::setPermissions(locked, folder ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
        const QString text = errorText([&] {
            writeSettingFile(path, Ini, QStringLiteral("DSN"), QStringLiteral("x"));
        });
        QFile::setPermissions(locked, permissions);
        QCOMPARE(text, written ? QStringLiteral("<no error>") : writeFailedText(path));
        QCOMPARE(readFile(path), written ? QByteArray("[ConDBSet]\r\nDSN=x\r\n") : before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("dbset.ini")});
    }

    // The cases run as nobody pass from a checkout in a folder no other
    // user can enter (mode 700, as mktemp -d makes, or root's home).
    void permissionCasesPassFromAPrivateFolder()
    {
        if (!canRunAsNobody())
            QSKIP("only root runs cases as another user");
        QTemporaryDir privateDir;
        QVERIFY(QFile::setPermissions(privateDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString copy = privateDir.filePath(QStringLiteral("tst_settings"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(copy, {QStringLiteral("writeUnderPermissions")});
        QVERIFY(child.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("PASS   : SettingsTest::writeUnderPermissions(read-only file)"))
                     && output.contains(QStringLiteral("PASS   : SettingsTest::writeUnderPermissions(read-only folder)")),
                 qPrintable(output));
    }

    // --- properties ----------------------------------------------------

    // Property: a written value reads back as the documented cuts leave it
    // (up to a NUL or line break, without outer blanks and one pair of
    // enclosing quotes, at most 2047 characters), and no other line changes.
    void writeThenReadGivesTheValueBack()
    {
        const QList<QByteArray> pool{"[ConDBSet]", "[condbset]", "[Other]", "SQLUser=u1", " DSN = d1 ",
                                     "DATABASE=\"q\"", "dsn_description", "DSNDst1=desc,dsn.user..db",
                                     "; comment", "", "x=" + gbk(QStringLiteral("中文"))};
        const QStringList keys{"SQLUser", "DSN", "DATABASE", "DSN_Description", "dsn"};
        const QString alphabet = QStringLiteral(" \t\"'=;[]a9中\r\n");
        QRandomGenerator random(20261211);
        for (int i = 0; i < 10000; ++i) {
            QList<QByteArray> lines;
            for (int n = int(random.bounded(7)); n > 0; --n)
                lines << pool.at(random.bounded(int(pool.size())));
            QByteArray before = lines.join("\r\n");
            if (!before.isEmpty() && random.bounded(2))
                before += "\r\n";
            const QString section = random.bounded(4) ? Ini : QStringLiteral("Other");
            const QString key = keys.at(random.bounded(int(keys.size())));
            QString value;
            for (int n = int(random.bounded(random.bounded(50) ? 8 : 2100)); n > 0; --n)
                value += random.bounded(200) ? alphabet.at(random.bounded(int(alphabet.size()))) : QChar(0);

            const QByteArray after = profileWrite(before, section, key, value);
            const QString context = QString::fromLatin1(before.toPercentEncoding()) + QLatin1Char(' ') + key;
            QVERIFY2(profileRead(after, section, key, QStringLiteral("dflt")) == model::readBack(value), qPrintable(context));
            QVERIFY2(model::onlyKeyLinesDiffer(before, after, key), qPrintable(context));
        }
    }

    // Property: decoding GBK keeps every line break and NUL, whatever the
    // bytes around them, and valid GBK text round-trips byte for byte.
    void gbkKeepsLinesAndRoundTrips()
    {
        QRandomGenerator random(20261212);
        for (int i = 0; i < 60000; ++i) {
            QByteArray bytes;
            for (int n = int(random.bounded(12)); n > 0; --n) {
                if (random.bounded(3) == 0)
                    bytes += "\r\n\0a"[random.bounded(4)];
                else if (random.bounded(2))
                    bytes += char(0x81 + random.bounded(0x7e)); // a lead byte, maybe alone
                else
                    bytes += char(0x40 + random.bounded(0xbf));
            }
            const QString text = platform::fromGbk(bytes);
            const QByteArray hex = bytes.toHex(' ');
            for (const char c : {'\r', '\n', '\0'})
                QVERIFY2(text.count(QLatin1Char(c)) == bytes.count(c), hex.constData());
            if (!text.contains(QChar(0xfffd)))
                QVERIFY2(platform::toGbk(text) == bytes, hex.constData());
        }
    }

    // --- DSN list ------------------------------------------------------

    void dsnListMissingFile()
    {
        QCOMPARE(errorText([] { readDsnList(); }), QStringLiteral("File not found"));
    }

    void dsnListUnreadableFile()
    {
        QVERIFY(QDir().mkpath(dbsetPath()));
        const QString text = errorText([] { readDsnList(); });
        QDir().rmdir(dbsetPath());
        QVERIFY(text != QStringLiteral("<no error>"));
        QVERIFY(text != QStringLiteral("File not found"));
        QVERIFY(!text.isEmpty());
    }

    void dsnList()
    {
        writeDbset(
            "DSNDst0=before sections,a.b..c\r\n"
            "[ConDBSet]\r\n"
            "DSN=sse\r\n"
            "  DSNDst1 = " + GbkDescription + ",sse.qtrl..OIW  \r\n"
            "; comment DSNDst\r\n"
            "dsndst=lower case is no entry\r\n"
            "[DSNDst]\n"
            "DSNDst1 = " + GbkDescription + ",sse.qtrl..OIW  \r\n"
            "key=xDSNDsty\r\n"
            "\r\n"
            "DSNDst9=no final break");
        const QStringList expected{
            QStringLiteral("DSNDst0=before sections,a.b..c"),
            QStringLiteral("  DSNDst1 = 本地上海报盘数据库,sse.qtrl..OIW  "),
            QStringLiteral("; comment DSNDst"),
            QStringLiteral("[DSNDst]"),
            QStringLiteral("DSNDst1 = 本地上海报盘数据库,sse.qtrl..OIW  "),
            QStringLiteral("key=xDSNDsty"),
            QStringLiteral("DSNDst9=no final break"),
        };
        QCOMPARE(readDsnList(), expected);
    }

    void dsnListEmpty()
    {
        writeDbset("[ConDBSet]\r\nDSN=sse\r\n");
        QCOMPARE(readDsnList(), QStringList());
    }

    void dsnListBadBytes()
    {
        QByteArray content("\xEF\xBB\xBF" "DSNDst1=a,b.c..d\r\n", 21);
        content += QByteArray("DSNDst2=\x81\xff,x.y..z\r\n");
        content += QByteArray("DSNDst3=a\0b,x.y..z\r\n", 20);
        content += QByteArray(1 << 20, 'x') + "DSNDst4\r\n";
        writeDbset(content);
        const QStringList lines = readDsnList();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("DSNDst1=a,b.c..d"));
        QVERIFY(lines.at(1).startsWith(QStringLiteral("DSNDst2=")));
        QVERIFY(lines.at(1).endsWith(QStringLiteral(",x.y..z")));
        QCOMPARE(lines.at(2), QString::fromLatin1("DSNDst3=a\0b,x.y..z", 18));
        QCOMPARE(lines.at(3).size(), (1 << 20) + 7);
    }

    // --- splitting an entry ---------------------------------------------

    void split_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("dsn");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("database");

        QTest::newRow("well formed") << QStringLiteral("DSNDst1=本地库,sse.qtrl..OIW")
                                     << QStringLiteral("本地库") << "sse" << "qtrl" << "OIW";
        QTest::newRow("blanks kept") << " DSNDst1= d , s . u .. b " << " d " << " s " << " u " << " b ";
        QTest::newRow("empty user") << "DSNDst=d,sse..db" << "d" << "sse" << "" << "db";
        QTest::newRow("user with dots") << "K=d,s.a.b..x" << "d" << "s" << "a.b" << "x";
        QTest::newRow("database holds anything") << "X=d,s.u..a..b=c,d" << "d" << "s" << "u"
                                                 << "a..b=c,d";
        QTest::newRow("no comma") << "DSNDst=abc.def..ghi" << "" << "DSNDst=abc" << "def" << "ghi";
        QTest::newRow("dot in description") << "DSNDst=a.b,sse.u..db" << "a.b" << "" << "b,sse.u"
                                            << "db";
        QTest::newRow("section header") << "[DSNDst]" << "" << "" << "" << "DSNDst]";
        QTest::newRow("no double dot") << "X=d,s." << "d" << "s" << "" << "=d,s.";
        QTest::newRow("user ending in dot") << "X=d,s.u...db" << "d" << "s" << "u" << ".db";
        QTest::newRow("nothing after double dot") << "X=d,s.u.." << "d" << "s" << "u" << "";
        QTest::newRow("empty line") << "" << "" << "" << "" << "";
        QTest::newRow("comment line") << "; DSNDst" << "" << "" << "" << " DSNDst";
    }

    void split()
    {
        QFETCH(QString, line);
        QFETCH(QString, description);
        QFETCH(QString, dsn);
        QFETCH(QString, user);
        QFETCH(QString, database);
        const DsnEntry entry = splitEntry(line);
        QCOMPARE(entry.description, description);
        QCOMPARE(entry.dsn, dsn);
        QCOMPARE(entry.user, user);
        QCOMPARE(entry.database, database);
    }
};

SQLTOOL_CORE_TEST_MAIN(SettingsTest)
#include "tst_settings.moc"

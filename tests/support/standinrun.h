#pragma once

// Running the gateway stand-in as a program from a test: its exit and its
// "name: value" lines, and the tool listing a page again and again while
// the stand-in writes.

#include <QElapsedTimer>
#include <QLabel>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QtTest/QtTest>

namespace standin {

struct Run
{
    int exitCode = -1;
    QMap<QString, QString> values;
    QString errors;

    qint64 number(const char *name) const { return values.value(QLatin1String(name)).toLongLong(); }
};

// Waits for the program (killing it after `timeoutMs`) and reads what it printed.
inline Run finish(QProcess &process, int timeoutMs)
{
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    for (const QString &line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        if (colon > 0)
            run.values.insert(line.left(colon), line.mid(colon + 2));
    }
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

inline void start(QProcess &process, const QStringList &arguments)
{
    process.start(QStringLiteral(SQLTOOL_GATEWAY), arguments);
    if (!process.waitForStarted())
        qFatal("cannot start the gateway stand-in");
}

inline Run runToEnd(const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    start(process, arguments);
    return finish(process, timeoutMs);
}

// Clicks `list` every 100 ms while `process` runs (30 s at most) and
// returns the counts `label` showed after each list.
inline QList<qint64> countsWhileRunning(const QProcess &process, QPushButton *list, QLabel *label)
{
    QList<qint64> counts;
    QElapsedTimer elapsed;
    elapsed.start();
    while (process.state() != QProcess::NotRunning && elapsed.elapsed() < 30000) {
        label->clear();
        QTest::mouseClick(list, Qt::LeftButton);
        if (!QTest::qWaitFor([label] { return !label->text().isEmpty(); }, 20000))
            break;
        counts << label->text().toLongLong();
        QTest::qWait(100);
    }
    return counts;
}

// Both sides ran without an error, and each list saw at least as many rows
// as the one before it, more by the end.
inline void expectGrowingListsAndCleanRun(const Run &run, const QList<qint64> &counts)
{
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(run.errors.isEmpty(), qPrintable(run.errors));
    QVERIFY2(!run.values.contains(QStringLiteral("write_errors")),
             qPrintable(run.values.value(QStringLiteral("write_errors"))));
    QVERIFY2(counts.size() >= 5, qPrintable(QString::number(counts.size())));
    QVERIFY(std::is_sorted(counts.cbegin(), counts.cend()));
    QVERIFY(counts.last() > counts.first());
}

} // namespace standin

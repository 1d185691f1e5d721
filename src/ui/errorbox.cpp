#include "ui/errorbox.h"

#include "ui/command.h"
#include "ui/messages.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <new>

QString applicationTitle(const QString &executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    // A Windows path may reach us on another platform as well.
    const qsizetype slash = name.lastIndexOf(QLatin1Char('\\'));
    if (slash >= 0)
        name = name.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    // The first character stays as it is (a surrogate pair counts as one).
    const qsizetype first = name.size() > 1 && name.at(0).isHighSurrogate() ? 2 : 1;
    if (name.size() > first)
        name = name.left(first) + name.mid(first).toLower();
    return name;
}

QString applicationTitle()
{
    return applicationTitle(QCoreApplication::applicationFilePath());
}

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showExceptionBox(const QString &message)
{
    if (programEnding())
        return;
    try {
        QMessageBox box(QMessageBox::Critical, applicationTitle(),
                        msg::displayText(errorBoxText(message)), QMessageBox::Ok);
        box.setObjectName(QStringLiteral("ErrorBox"));
        box.exec();
    } catch (const std::bad_alloc &) {
        showOutOfMemory();
    }
}

void showExceptionBox(const std::exception &error)
{
    if (dynamic_cast<const std::bad_alloc *>(&error)) {
        showOutOfMemory();
        return;
    }
    try {
        // what() is UTF-8 throughout the program.
        showExceptionBox(QString::fromUtf8(error.what()));
    } catch (const std::bad_alloc &) {
        showOutOfMemory();
    }
}

void runGuarded(const std::function<void()> &body)
{
    try {
        body();
    } catch (const std::exception &error) {
        showExceptionBox(error);
    } catch (...) {
        showExceptionBox(QStringLiteral("未知错误"));
    }
}

void showCommandFailure(const std::exception &error, const std::function<void()> &showFixedText)
{
    if (dynamic_cast<const OperationCancelled *>(&error))
        showExceptionBox(error);
    else
        showFixedText();
}

#include "app/application.h"

#include "ui/errorbox.h"

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

// The last resort: handlers catch their own errors (runGuarded).
bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        showExceptionBox(error);
    } catch (...) {
        showExceptionBox(QStringLiteral("Unknown error"));
    }
    return true;
}

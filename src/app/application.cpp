#include "app/application.h"

#include "ui/errorbox.h"

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    prepareOutOfMemoryBox();
}

// The last resort: handlers catch their own errors (runGuarded).
bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        showExceptionBox(error); // a bad_alloc without allocating
    } catch (...) {
        showExceptionBox(QStringLiteral("未知错误"));
    }
    return true;
}

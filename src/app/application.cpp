#include "app/application.h"

#include "base/platform.h"
#include "ui/errorbox.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Qt's own texts (standard buttons, the file dialogs and their questions)
// in Chinese like the program's; the program's own texts are not
// translated. On Windows windeployqt puts these files beside the program.
void installQtTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
    else
        delete translator;
}

} // namespace

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Before the database workers start: what a list frees on its worker
    // is then room for everything else (db/platform.h).
    platform::shareHeapAcrossThreads();
    installQtTranslations(*this);
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

#include "ui/command.h"

void runCommand(const QString &text, const std::function<void(CommandControl &)> &work)
{
    Q_UNUSED(text);
    odbc::WaitCursor wait;
    CommandControl control;
    work(control);
}

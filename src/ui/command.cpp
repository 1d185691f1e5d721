#include "ui/command.h"

#include "ui/waitcursor.h"

void runCommand(const QString &text, const std::function<void(CommandControl &)> &work)
{
    Q_UNUSED(text);
    WaitCursor wait;
    CommandControl control;
    work(control);
}

#pragma once

#include "db/command.h"

#include <QString>
#include <functional>

// Runs one command's database work. Stand-in until the worker thread lands:
// the work runs here, on the calling thread, under the wait cursor, with a
// control nobody cancels; its exception reaches the caller.
void runCommand(const QString &text, const std::function<void(CommandControl &)> &work);

#pragma once

// 日终核对: the day of one watched database reconciled into one workbook,
// written on the watch's worker with the progress window and its cancel.
// The monitor offers it for the database it shows; any window holding a
// watch (one per database) can offer it the same way.

#include "export/dayendbook.h"

#include <QString>

#include <vector>

class QWidget;
namespace flow {
class AlarmBook;
class FlowWatch;
}

// The day's alarms of a database, as its book holds them.
std::vector<DayEndAlarm> dayEndAlarms(const flow::AlarmBook &book);

// Reads what is new on the watch's connection (the figures are those of
// that moment, by the server's clock) and writes the workbook to `path`,
// both on the watch's worker while the window waits modally. Throws what
// the command ends in: ExportError, OperationCancelled, or the refresh's
// DatabaseError; no file is left behind then.
void writeDayEnd(flow::FlowWatch &watch, const QString &database, const QString &path,
                 const std::vector<DayEndAlarm> &alarms, const ExportOptions &options = {});

// The file name offered for the watch's day: its date (the day it shows,
// else today) and the database.
QString dayEndFileNameFor(const flow::FlowWatch &watch, const QString &database);

// For an event handler: asks for the file (the offered name in the folder
// of the last export), writes it and ends with a notice; a failure or a
// cancel is said in the error box.
void reconcileDay(QWidget *parent, flow::FlowWatch &watch, const QString &database,
                  const std::vector<DayEndAlarm> &alarms = {});

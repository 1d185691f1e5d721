#pragma once

#include <QString>

// Settings of the monitor and the trace windows, in a section of their own
// in dbset.ini.
namespace monitorsettings {
inline const QString Section = QStringLiteral("Monitor");
inline const QString KeyRefresh = QStringLiteral("RefreshSeconds");
inline const QString KeyTimeout = QStringLiteral("TimeoutSeconds");
// Seconds a statement of the monitor or the trace may execute (1 to 3600,
// default 30); there is no control for it in the windows. A refresh waiting
// longer raises an alarm.
inline const QString KeyQuerySeconds = QStringLiteral("QuerySeconds");
// Where the two windows were last left ("x,y,width,height").
inline const QString KeyPlace = QStringLiteral("Place");
inline const QString KeyTracePlace = QStringLiteral("TracePlace");
// Rejections within one clock minute that make a burst (废单激增; 1 to
// 100000, default 20); set by hand.
inline const QString KeyRejectBurst = QStringLiteral("RejectBurst");
// The alarm sound: 1 on, 0 muted (静音).
inline const QString KeySound = QStringLiteral("Sound");
// The stored value within 1 to 60, `fallback` when missing or not a number.
int read(const QString &key, int fallback);
// The stored QuerySeconds.
int querySeconds();
// The stored RejectBurst.
int rejectBurst();
} // namespace monitorsettings

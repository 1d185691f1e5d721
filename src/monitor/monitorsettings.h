#pragma once

#include <QString>

// Settings of the monitor and the trace windows, in a section of their own
// in dbset.ini.
namespace monitorsettings {
inline const QString Section = QStringLiteral("Monitor");
inline const QString KeyRefresh = QStringLiteral("RefreshSeconds");
inline const QString KeyTimeout = QStringLiteral("TimeoutSeconds");
// Where the two windows were last left ("x,y,width,height").
inline const QString KeyPlace = QStringLiteral("Place");
inline const QString KeyTracePlace = QStringLiteral("TracePlace");
// The statements' time-out: a refresh waiting longer raises an alarm.
inline const QString KeyQuerySeconds = QStringLiteral("QuerySeconds");
inline constexpr int DefaultQuerySeconds = 30;
// Rejections within one clock minute that make a burst (废单激增).
inline const QString KeyRejectBurst = QStringLiteral("RejectBurst");
inline constexpr int DefaultRejectBurst = 20;
// The alarm sound: 1 on, 0 muted (静音).
inline const QString KeySound = QStringLiteral("Sound");
// The stored value within 1 to 60, `fallback` when missing or not a number.
int read(const QString &key, int fallback);
// The stored value within `minimum` to `maximum`, else `fallback`.
int read(const QString &key, int fallback, int minimum, int maximum);
} // namespace monitorsettings

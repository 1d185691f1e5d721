#pragma once

#include <QByteArray>
#include <QString>

// The few calls that differ between Windows and the other platforms.
namespace platform {

// GBK (code page 936) to Unicode. Bytes that are not valid GBK become
// U+FFFD; the call never fails.
QString fromGbk(const QByteArray &bytes);
// Unicode to GBK. Characters without a GBK form become "?".
QByteArray toGbk(const QString &text);

// Peak resident memory of this process in bytes, 0 when unknown.
qint64 peakResidentBytes();

} // namespace platform

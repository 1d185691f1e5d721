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
// Resident memory of this process now in bytes, 0 when unknown.
qint64 residentBytes();
// Starts a new window for windowPeakResidentBytes() at the memory resident
// now, where the system allows it (Linux); false where it does not.
bool resetPeakResident();
// Peak resident memory since the last resetPeakResident() (the whole run
// where there is none), in bytes.
qint64 windowPeakResidentBytes();

// Bytes this process can still allocate: the least of the memory the
// system has available and the address space left to the process (below
// its limit, RLIMIT_AS, or what a 32-bit process can address); -1 when
// unknown.
qint64 obtainableBytes();
// Names the calling thread for debuggers and tools (cut to what the system
// takes).
void nameThisThread(const QString &name);
// Gives memory the allocator holds free back to the system where it keeps
// it (glibc after a large result is freed); does nothing elsewhere.
void giveBackFreedMemory();
// Makes memory one thread frees usable by every thread, as the Windows heap
// does: glibc otherwise gives each thread that allocates a heap of its own,
// 64 MB of address space at a time, which keeps what a worker freed from
// the user-interface thread and makes obtainableBytes() fall in steps of
// 64 MB. Called at start, before the program's threads; nothing elsewhere.
void shareHeapAcrossThreads();

} // namespace platform

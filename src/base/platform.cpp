#include "base/platform.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#else
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#endif

namespace platform {

#ifdef _WIN32

QString fromGbk(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    const int size = MultiByteToWideChar(936, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(936, 0, bytes.constData(), int(bytes.size()),
                        reinterpret_cast<wchar_t *>(text.data()), size);
    return text;
}

QByteArray toGbk(const QString &text)
{
    if (text.isEmpty())
        return {};
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int size = WideCharToMultiByte(936, 0, wide, int(text.size()), nullptr, 0, nullptr, nullptr);
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(936, 0, wide, int(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

qint64 peakResidentBytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return qint64(counters.PeakWorkingSetSize);
    return 0;
}

qint64 residentBytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return qint64(counters.WorkingSetSize);
    return 0;
}

bool resetPeakResident()
{
    return false;
}

qint64 windowPeakResidentBytes()
{
    return peakResidentBytes();
}

qint64 obtainableBytes()
{
    // The physical memory free and the address space this process has left.
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return -1;
    return qint64(std::min(status.ullAvailPhys, status.ullAvailVirtual));
}

void nameThisThread(const QString &name)
{
    SetThreadDescription(GetCurrentThread(), reinterpret_cast<const wchar_t *>(name.utf16()));
}

void giveBackFreedMemory()
{
    // The Windows heap gives large blocks back as they are freed.
}

void shareHeapAcrossThreads()
{
    // One process heap serves every thread already.
}

#else

namespace {

// Converts with iconv; an invalid input sequence yields `replacement` and
// the conversion goes on after one input unit of `unit` bytes.
QByteArray convert(const char *to, const char *from, const QByteArray &input, size_t unit,
                   const QByteArray &replacement)
{
    QByteArray output;
    if (input.isEmpty())
        return output;
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return output;
    output.resize(input.size() * 4 + 16);
    char *in = const_cast<char *>(input.constData());
    size_t inLeft = size_t(input.size());
    char *out = output.data();
    size_t outLeft = size_t(output.size());
    const auto resize = [&](qsizetype size) {
        const qsizetype used = out - output.data();
        output.resize(size);
        out = output.data() + used;
        outLeft = size_t(size - used);
    };
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG) {
            resize(output.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL: skip one unit and put the replacement.
        const size_t skip = inLeft < unit ? inLeft : unit;
        in += skip;
        inLeft -= skip;
        if (outLeft < size_t(replacement.size()) + 8)
            resize(output.size() * 2 + replacement.size());
        memcpy(out, replacement.constData(), size_t(replacement.size()));
        out += replacement.size();
        outLeft -= size_t(replacement.size());
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    output.resize(out - output.data());
    iconv_close(cd);
    return output;
}

} // namespace

QString fromGbk(const QByteArray &bytes)
{
    static const QByteArray replacement("\xFD\xFF", 2); // U+FFFD in UTF-16LE
    const QByteArray utf16 = convert("UTF-16LE", "GBK", bytes, 1, replacement);
    return QString(reinterpret_cast<const QChar *>(utf16.constData()), utf16.size() / 2);
}

QByteArray toGbk(const QString &text)
{
    const QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return convert("GBK", "UTF-16LE", utf16, 2, QByteArray("?"));
}

namespace {

// A "Name:   1234 kB" line of a file of /proc, in bytes; 0 when missing.
// Read into a buffer on the stack: it is asked when memory runs short, and
// by threads that allocate nothing else.
qint64 procKilobytes(const char *path, const char *name)
{
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return 0;
    char text[4096];
    size_t used = 0;
    for (;;) {
        const ssize_t got = ::read(file, text + used, sizeof text - 1 - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        used += size_t(got);
        if (used == sizeof text - 1)
            break;
    }
    ::close(file);
    text[used] = '\0';
    const size_t length = strlen(name);
    for (const char *line = text; line && *line; line = std::strchr(line, '\n')) {
        if (*line == '\n')
            ++line;
        if (strncmp(line, name, length) == 0 && line[length] == ':')
            return qint64(std::strtoll(line + length + 1, nullptr, 10)) * 1024;
    }
    return 0;
}

qint64 statusKilobytes(const char *name)
{
    return procKilobytes("/proc/self/status", name);
}

// The peak reached before the last reset of the high-water mark.
qint64 peakBeforeReset = 0;

qint64 highWaterMark()
{
    if (const qint64 peak = statusKilobytes("VmHWM"))
        return peak;
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    return qint64(usage.ru_maxrss) * 1024;
}

} // namespace

qint64 peakResidentBytes()
{
    return std::max(peakBeforeReset, highWaterMark());
}

qint64 residentBytes()
{
    return statusKilobytes("VmRSS");
}

bool resetPeakResident()
{
    peakBeforeReset = peakResidentBytes();
    FILE *refs = std::fopen("/proc/self/clear_refs", "w");
    if (!refs)
        return false;
    const bool written = std::fputs("5", refs) >= 0;
    return std::fclose(refs) == 0 && written;
}

qint64 windowPeakResidentBytes()
{
    return highWaterMark();
}

qint64 obtainableBytes()
{
    qint64 room = procKilobytes("/proc/meminfo", "MemAvailable");
    if (room <= 0)
        room = -1;
    // The address space: its limit, and all a 32-bit process has.
    std::uint64_t limit = RLIM_INFINITY;
    rlimit addressSpace{};
    if (getrlimit(RLIMIT_AS, &addressSpace) == 0)
        limit = addressSpace.rlim_cur;
    if (sizeof(void *) == 4)
        limit = std::min<std::uint64_t>(limit, std::uint64_t(3) << 30);
    if (limit != RLIM_INFINITY) {
        const qint64 used = statusKilobytes("VmSize");
        const qint64 left = used > 0 && std::uint64_t(used) < limit ? qint64(limit - std::uint64_t(used)) : 0;
        room = room < 0 ? left : std::min(room, left);
    }
    return room;
}

void nameThisThread(const QString &name)
{
    // Linux takes 15 bytes and the terminating zero.
    QByteArray bytes = name.toUtf8().left(15);
    while (!bytes.isEmpty() && QString::fromUtf8(bytes).contains(QChar::ReplacementCharacter))
        bytes.chop(1);
    pthread_setname_np(pthread_self(), bytes.constData());
}

void giveBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void shareHeapAcrossThreads()
{
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
    // No fast bins: in a shared heap, the small blocks a worker frees by the
    // million would be merged in one go by the next larger allocation of any
    // thread, under the heap's lock (50-270 ms of the window's thread while
    // the monitor loads a day). Without them each free merges its own block.
    mallopt(M_MXFAST, 0);
#endif
}

#endif

} // namespace platform

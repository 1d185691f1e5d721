#include "db/platform.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <pthread.h>
#include <sys/resource.h>
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

void nameThisThread(const QString &name)
{
    SetThreadDescription(GetCurrentThread(), reinterpret_cast<const wchar_t *>(name.utf16()));
}

void giveBackFreedMemory()
{
    // The Windows heap gives large blocks back as they are freed.
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

// A "Name:   1234 kB" line of /proc/self/status, in bytes; 0 when missing.
qint64 statusKilobytes(const char *name)
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    const size_t length = strlen(name);
    char line[256];
    qint64 bytes = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (strncmp(line, name, length) == 0 && line[length] == ':') {
            bytes = qint64(std::strtoll(line + length + 1, nullptr, 10)) * 1024;
            break;
        }
    }
    std::fclose(status);
    return bytes;
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

#endif

} // namespace platform

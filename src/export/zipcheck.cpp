#include "export/zipcheck.h"

#include <QFile>
#include <QSet>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr quint32 EndSignature = 0x06054b50;
constexpr quint32 DirectorySignature = 0x02014b50;
constexpr quint32 LocalSignature = 0x04034b50;
constexpr qint64 EndSize = 22;
constexpr qint64 DirectoryEntrySize = 46;
constexpr qint64 LocalHeaderSize = 30;
constexpr qint64 MaxComment = 0xFFFF;
const QByteArray SheetEnd("</worksheet>");
const QByteArray RowStart("<row ");
const QByteArray CellStart("<c ");

quint32 u16(const char *p)
{
    const auto *b = reinterpret_cast<const uchar *>(p);
    return quint32(b[0]) | quint32(b[1]) << 8;
}

quint32 u32(const char *p)
{
    return u16(p) | u16(p + 2) << 16;
}

struct Member
{
    QByteArray name;
    quint32 method;
    quint32 crc;
    quint32 packedSize;
    quint32 size;
    quint32 offset;
};

QByteArray readAt(QFile &file, qint64 offset, qint64 size)
{
    if (!file.seek(offset))
        return {};
    return file.read(size);
}

// The members listed by the central directory; false when the end record
// or the directory is not where a whole archive has them.
bool readDirectory(QFile &file, std::vector<Member> &members, qint64 &directoryOffset)
{
    const qint64 size = file.size();
    if (size < EndSize)
        return false;
    const qint64 tailStart = std::max<qint64>(0, size - EndSize - MaxComment);
    const QByteArray tail = readAt(file, tailStart, size - tailStart);
    if (tail.size() != size - tailStart)
        return false;
    qint64 end = -1;
    for (qint64 at = tail.size() - EndSize; at >= 0; --at) {
        const char *p = tail.constData() + at;
        if (u32(p) == EndSignature && at + EndSize + u16(p + 20) == tail.size()) {
            end = at;
            break;
        }
    }
    if (end < 0)
        return false;
    const char *record = tail.constData() + end;
    const quint32 count = u16(record + 10);
    const qint64 directorySize = u32(record + 12);
    directoryOffset = u32(record + 16);
    if (u16(record + 4) != 0 || u16(record + 6) != 0 || u16(record + 8) != count
        || directoryOffset + directorySize != tailStart + end)
        return false;

    const QByteArray directory = readAt(file, directoryOffset, directorySize);
    if (directory.size() != directorySize)
        return false;
    qint64 at = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (at + DirectoryEntrySize > directory.size())
            return false;
        const char *p = directory.constData() + at;
        if (u32(p) != DirectorySignature)
            return false;
        const qint64 nameLength = u16(p + 28);
        const qint64 next = at + DirectoryEntrySize + nameLength + u16(p + 30) + u16(p + 32);
        if (next > directory.size())
            return false;
        members.push_back({QByteArray(p + DirectoryEntrySize, nameLength), u16(p + 10), u32(p + 16), u32(p + 20),
                           u32(p + 24), u32(p + 42)});
        at = next;
    }
    return at == directory.size();
}

// What a member's text holds: its last bytes, its row and cell elements.
// Text and markup are escaped in the sheet's XML, so these marks only ever
// start elements.
struct Scan
{
    QByteArray last;
    qint64 rows = 0;
    qint64 cells = 0;
    QByteArray carry; // the text's last bytes, where a mark may still begin

    void take(const char *data, qint64 length)
    {
        last = (last + QByteArray(data + std::max<qint64>(0, length - SheetEnd.size()),
                                  std::min<qint64>(length, SheetEnd.size())))
                   .right(SheetEnd.size());
        QByteArray text = carry;
        text.append(data, length);
        // A position is decided once the longest mark fits after it.
        const qsizetype decided = std::max<qsizetype>(0, text.size() - (RowStart.size() - 1));
        countMarks(text, decided);
        carry = text.mid(decided);
    }

    void finish()
    {
        countMarks(carry, carry.size());
        carry.clear();
    }

    void countMarks(const QByteArray &text, qsizetype before)
    {
        const char *begin = text.constData();
        const char *end = begin + text.size();
        for (const char *p = begin; p < begin + before; ++p) {
            p = static_cast<const char *>(std::memchr(p, '<', std::size_t(begin + before - p)));
            if (!p)
                break;
            if (startsWith(p, end, RowStart))
                ++rows;
            else if (startsWith(p, end, CellStart))
                ++cells;
        }
    }

    static bool startsWith(const char *p, const char *end, const QByteArray &mark)
    {
        return end - p >= mark.size() && std::memcmp(p, mark.constData(), std::size_t(mark.size())) == 0;
    }
};

// Reads a member's data from its local header on, inflating it when
// compressed, checks its size and checksum against the directory's and
// scans its text.
bool memberIntact(QFile &file, const Member &member, qint64 directoryOffset, Scan &scan, qint64 chunk)
{
    const QByteArray header = readAt(file, member.offset, LocalHeaderSize);
    if (header.size() != LocalHeaderSize || u32(header.constData()) != LocalSignature)
        return false;
    const qint64 dataStart = member.offset + LocalHeaderSize + u16(header.constData() + 26) + u16(header.constData() + 28);
    if (dataStart + member.packedSize > directoryOffset || !file.seek(dataStart))
        return false;
    if (member.method != Z_NO_COMPRESSION && member.method != Z_DEFLATED)
        return false;

    z_stream stream{};
    if (member.method == Z_DEFLATED && inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    uLong crc = crc32(0, nullptr, 0);
    qint64 produced = 0;
    const auto take = [&](const char *data, qint64 length) {
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data), uInt(length));
        produced += length;
        scan.take(data, length);
    };
    std::vector<char> out(static_cast<std::size_t>(chunk));
    qint64 remaining = member.packedSize;
    int status = Z_OK;
    bool ok = true;
    while (ok && remaining > 0) {
        const QByteArray in = file.read(std::min(remaining, chunk));
        if (in.isEmpty()) {
            ok = false;
            break;
        }
        remaining -= in.size();
        if (member.method == Z_NO_COMPRESSION) {
            take(in.constData(), in.size());
            continue;
        }
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
        stream.avail_in = uInt(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef *>(out.data());
            stream.avail_out = uInt(out.size());
            status = inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                ok = false;
                break;
            }
            take(out.data(), qint64(out.size()) - stream.avail_out);
            if (status == Z_BUF_ERROR) { // no progress until more input comes
                status = Z_OK;
                break;
            }
        } while (status == Z_OK && (stream.avail_in > 0 || stream.avail_out == 0));
    }
    if (member.method == Z_DEFLATED) {
        ok = ok && status == Z_STREAM_END && stream.avail_in == 0;
        inflateEnd(&stream);
    }
    scan.finish();
    return ok && produced == qint64(member.size) && crc == member.crc;
}

} // namespace

bool workbookComplete(const QString &path, const std::vector<SheetContent> &sheets, qint64 chunk)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    std::vector<Member> members;
    qint64 directoryOffset = 0;
    if (!readDirectory(file, members, directoryOffset))
        return false;

    const QByteArray sheetPrefix("xl/worksheets/sheet");
    QSet<QByteArray> required{"[Content_Types].xml", "xl/workbook.xml"};
    for (std::size_t sheet = 1; sheet <= sheets.size(); ++sheet)
        required.insert(sheetPrefix + QByteArray::number(qulonglong(sheet)) + ".xml");
    qsizetype found = 0;
    for (const Member &member : members) {
        Scan scan;
        if (!memberIntact(file, member, directoryOffset, scan, std::max<qint64>(chunk, 1)))
            return false;
        const bool isSheet = member.name.startsWith(sheetPrefix);
        if (!required.contains(member.name)) {
            if (isSheet)
                return false; // a sheet more than were written
            continue;
        }
        ++found;
        if (!isSheet)
            continue;
        const SheetContent &expected =
            sheets[std::size_t(member.name.mid(sheetPrefix.size()).chopped(4).toULongLong() - 1)];
        if (scan.last != SheetEnd || (expected.rows >= 0 && scan.rows != expected.rows)
            || (expected.cells >= 0 && scan.cells != expected.cells))
            return false;
    }
    return found == required.size();
}

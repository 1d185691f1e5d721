#include "base/settings.h"

#include "base/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

SettingsError::SettingsError(const QString &message)
    : std::runtime_error(message.toUtf8().toStdString())
{
}

namespace settings {

namespace {

const QString FileName = QStringLiteral("dbset.ini");
const QString DsnMarker = QStringLiteral("DSNDst");
const QString WriteFailedText = QStringLiteral("Unable to write to %1");
const QString FileNotFoundText = QStringLiteral("File not found");
const QString AccessDeniedText = QStringLiteral("File access denied");
const QString NotGbkText = QStringLiteral("配置文件为 GBK 编码，不能保存%1，未作任何保存");

// Longest value a read gives back (the read buffer holds 2048 with the NUL).
constexpr qsizetype MaxValueLength = 2047;

const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);
const QByteArray LineBreak("\r\n", 2);

// Blanks as the profile functions see them; ^Z (the old end-of-file mark)
// counts as one.
bool isBlank(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x09 && u <= 0x0d) || u == 0x1a || u == 0x20;
}

QString trimmed(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// Strings travel through the profile functions as C strings.
QString cutAtNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// One line of the file: its text runs from begin to contentEnd, its line
// break (CR LF, LF or CR; none on a last line without one) to end.
struct Line
{
    qsizetype begin;
    qsizetype contentEnd;
    qsizetype end;
    QString text; // decoded
};

// The file's bytes split into lines, each decoded once. GBK text, unless it
// starts with a UTF-8 byte-order mark: then it is UTF-8 and stays so when
// written.
struct Document
{
    QByteArray bytes;
    bool utf8 = false;
    qsizetype start = 0; // first byte after the byte-order mark
    QList<Line> lines;

    explicit Document(const QByteArray &content)
        : bytes(content)
    {
        if (bytes.startsWith(Utf8Bom)) {
            utf8 = true;
            start = Utf8Bom.size();
        }
        // CR and LF are never part of a GBK or UTF-8 multi-byte character,
        // so the bytes can be split before decoding.
        const char *data = bytes.constData();
        const qsizetype size = bytes.size();
        qsizetype pos = start;
        while (pos < size) {
            Line line{pos, pos, pos, {}};
            while (pos < size && data[pos] != '\r' && data[pos] != '\n')
                ++pos;
            line.contentEnd = pos;
            if (pos < size && data[pos] == '\r')
                ++pos;
            if (pos < size && data[pos] == '\n')
                ++pos;
            line.end = pos;
            const QByteArray content = raw(line);
            line.text = utf8 ? QString::fromUtf8(content) : platform::fromGbk(content);
            lines.append(std::move(line));
        }
    }

    QByteArray raw(const Line &line) const
    {
        return bytes.mid(line.begin, line.contentEnd - line.begin);
    }

    QByteArray encode(const QString &text) const
    {
        return utf8 ? text.toUtf8() : platform::toGbk(text);
    }
};

// What a line is to the profile functions.
struct Entry
{
    enum Kind { Blank, Section, Key } kind = Blank;
    QString name;          // section or key name
    bool hasValue = false; // a key line without "=" has no value
    QString value;
};

Entry classify(const QString &lineText)
{
    Entry entry;
    const QString text = trimmed(lineText);
    if (text.isEmpty())
        return entry;
    if (text.front() == QLatin1Char('[')) {
        const qsizetype close = text.lastIndexOf(QLatin1Char(']'));
        if (close > 0) {
            entry.kind = Entry::Section;
            entry.name = cutAtNul(trimmed(text.mid(1, close - 1)));
            return entry;
        }
        // "[" without "]" is no section header; it reads as a key line.
    }
    entry.kind = Entry::Key;
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0) {
        entry.name = cutAtNul(text);
        return entry;
    }
    entry.name = cutAtNul(trimmed(text.left(equals)));
    entry.hasValue = true;
    entry.value = cutAtNul(trimmed(text.mid(equals + 1)));
    return entry;
}

// Where a key stands. Lines before the first header form a section without
// a name. Only the first section of a name counts, and in it the first key
// of a name, as with the platform's profile functions.
struct Location
{
    bool sectionFound = false;
    int lastLine = -1; // header or last non-blank line of the section
    int keyLine = -1;
    Entry key;
};

Location locate(const Document &doc, const QString &sectionName, const QString &keyName)
{
    const QString section = trimmed(sectionName);
    const QString key = trimmed(keyName);
    Location found;
    bool inside = section.isEmpty(); // the unnamed section comes first
    found.sectionFound = inside;
    for (int i = 0; i < doc.lines.size(); ++i) {
        const Entry entry = classify(doc.lines.at(i).text);
        if (entry.kind == Entry::Section) {
            if (inside)
                break;
            if (sameName(entry.name, section)) {
                inside = true;
                found.sectionFound = true;
                found.lastLine = i;
            }
            continue;
        }
        if (!inside || entry.kind == Entry::Blank)
            continue;
        found.lastLine = i;
        if (found.keyLine < 0 && sameName(entry.name, key)) {
            found.keyLine = i;
            found.key = entry;
        }
    }
    return found;
}

// The value as a read gives it back: one pair of enclosing quotes (double
// or single) dropped, then cut to the longest value.
QString returnedValue(const QString &value)
{
    QString result = value;
    if (result.size() >= 2 && (result.front() == QLatin1Char('"') || result.front() == QLatin1Char('\''))
        && result.back() == result.front())
        result = result.mid(1, result.size() - 2);
    if (result.size() > MaxValueLength) {
        result.truncate(MaxValueLength);
        if (result.back().isHighSurrogate())
            result.chop(1);
    }
    return result;
}

// The value as a write stores it: the line ends at a line break or NUL,
// and leading blanks are not written, so the file keeps its lines and the
// value reads back as written.
QString storedValue(const QString &value)
{
    qsizetype end = 0;
    while (end < value.size()) {
        const QChar c = value.at(end);
        if (c == QChar(0) || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            break;
        ++end;
    }
    qsizetype begin = 0;
    while (begin < end && isBlank(value.at(begin)))
        ++begin;
    return value.mid(begin, end - begin);
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

SettingsError writeFailed(const QString &path)
{
    return SettingsError(WriteFailedText.arg(nativePath(path)));
}

// The file's content for a read; a missing or unreadable file reads as
// empty, so every setting takes its default.
QByteArray contentForRead(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    return content;
}

QString readValue(const Document &doc, const QString &section, const QString &key,
                  const QString &defaultValue)
{
    // An empty key name finds nothing, as on the platform.
    if (!trimmed(key).isEmpty()) {
        const Location found = locate(doc, section, key);
        if (found.keyLine >= 0 && found.key.hasValue)
            return returnedValue(found.key.value);
    }
    // The default loses its trailing blanks, as the platform's read does.
    QString fallback = cutAtNul(defaultValue);
    while (!fallback.isEmpty() && fallback.back() == QLatin1Char(' '))
        fallback.chop(1);
    return fallback.left(MaxValueLength);
}

// Every line that holds the DSN list marker, in file order.
QStringList dsnListLines(const QByteArray &content)
{
    const Document doc(content);
    const QString marker = DsnMarker;
    QStringList entries;
    for (const Line &line : doc.lines) {
        // Searched in the decoded text: the marker's letters can be the
        // second byte of a GBK character.
        if (line.text.contains(marker, Qt::CaseSensitive))
            entries << line.text;
    }
    return entries;
}

} // namespace

QString settingsPath()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir + FileName;
}

QString profileRead(const QByteArray &content, const QString &section, const QString &key,
                    const QString &defaultValue)
{
    return readValue(Document(content), section, key, defaultValue);
}

QByteArray profileWrite(const QByteArray &content, const QString &section, const QString &key,
                        const QString &value)
{
    const Document doc(content);
    const QString sectionName = trimmed(section);
    const QString keyName = trimmed(key);
    const QByteArray encodedValue = doc.encode(storedValue(value));
    const Location found = locate(doc, sectionName, keyName);

    QByteArray result;
    result.reserve(content.size() + keyName.size() + encodedValue.size() + sectionName.size() + 8);

    if (found.keyLine >= 0) {
        // Replace the value in place: the line keeps everything up to its
        // "=" and its own line break.
        const Line &line = doc.lines.at(found.keyLine);
        QByteArray head = doc.raw(line);
        const qsizetype equals = head.indexOf('=');
        if (equals >= 0) {
            head.truncate(equals + 1);
        } else {
            while (!head.isEmpty() && isBlank(QChar::fromLatin1(head.back())))
                head.chop(1);
            head += '=';
        }
        result += QByteArrayView(doc.bytes).first(line.begin);
        result += head;
        result += encodedValue;
        result += QByteArrayView(doc.bytes).sliced(line.contentEnd);
        return result;
    }

    const QByteArray keyLine = doc.encode(keyName) + '=' + encodedValue + LineBreak;
    if (found.sectionFound) {
        // Add the key after the section's last non-blank line.
        qsizetype at = doc.start;
        bool needsBreak = false;
        if (found.lastLine >= 0) {
            const Line &last = doc.lines.at(found.lastLine);
            at = last.end;
            needsBreak = last.end == last.contentEnd;
        }
        result += QByteArrayView(doc.bytes).first(at);
        if (needsBreak)
            result += LineBreak;
        result += keyLine;
        result += QByteArrayView(doc.bytes).sliced(at);
        return result;
    }

    // Add the section at the end of the file.
    result = doc.bytes;
    if (!doc.lines.isEmpty() && doc.lines.back().end == doc.lines.back().contentEnd)
        result += LineBreak;
    result += '[' + doc.encode(sectionName) + ']' + LineBreak;
    result += keyLine;
    return result;
}

void writeSettingFile(const QString &path, const QString &section, const QString &key,
                      const QString &value)
{
    const QFileInfo info(path);
    QByteArray content;
    if (info.exists()) {
        if (info.isDir() || !info.isWritable())
            throw writeFailed(path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw writeFailed(path);
        content = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw writeFailed(path);
    }
    const QByteArray updated = profileWrite(content, section, key, value);

    // The new content goes to a temporary file beside the old one, which
    // then replaces it in one step: a crash or a full disk leaves the old
    // file whole. A folder that takes no new files (write access granted on
    // the file alone) gets the content written into the file in place.
    QSaveFile out(path);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        throw writeFailed(path);
    if (out.write(updated) != updated.size()) {
        out.cancelWriting();
        throw writeFailed(path);
    }
    if (!out.commit())
        throw writeFailed(path);
}

QStringList readDsnList()
{
    const QString path = settingsPath();
    const QFileInfo info(path);
    if (!info.exists())
        throw SettingsError(FileNotFoundText);
    if (info.isDir())
        throw SettingsError(AccessDeniedText);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.error() == QFileDevice::PermissionsError)
            throw SettingsError(AccessDeniedText);
        throw SettingsError(file.errorString());
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw SettingsError(file.errorString());
    return dsnListLines(content);
}

QString readSetting(const QString &section, const QString &key, const QString &defaultValue)
{
    return profileRead(contentForRead(settingsPath()), section, key, defaultValue);
}

void writeSetting(const QString &section, const QString &key, const QString &value)
{
    writeSettingFile(settingsPath(), section, key, value);
}

DsnEntry splitEntry(const QString &line)
{
    // Positions count from 1; 0 means "not found".
    const auto position = [&line](QLatin1String what) -> qsizetype {
        return line.indexOf(what) + 1;
    };
    // Up to count characters from position start; nothing for a count of
    // zero or less or a start beyond the end.
    const auto copy = [&line](qsizetype start, qsizetype count) -> QString {
        if (count <= 0 || start > line.size())
            return {};
        return line.mid(start - 1, count);
    };
    const qsizetype equals = position(QLatin1String("="));
    const qsizetype comma = position(QLatin1String(","));
    const qsizetype dot = position(QLatin1String("."));
    const qsizetype dots = position(QLatin1String(".."));

    DsnEntry entry;
    entry.description = copy(equals + 1, comma - equals - 1);
    entry.dsn = copy(comma + 1, dot - comma - 1);
    entry.user = copy(dot + 1, dots - dot - 1);
    entry.database = copy(dots + 2, line.size() - dots - 1);
    return entry;
}

ConDbSet readConDbSet()
{
    // One read and one decoding of the file for the four keys; each key
    // behaves exactly as its own read would.
    const Document doc(contentForRead(settingsPath()));
    const auto read = [&doc](const QString &key, const QString &defaultValue) {
        return readValue(doc, Section, key, defaultValue);
    };
    ConDbSet values;
    values.user = read(KeyUser, DefaultUser);
    values.dsn = read(KeyDsn, DefaultDsn);
    values.database = read(KeyDatabase, DefaultDatabase);
    values.description = read(KeyDescription, DefaultDescription);
    return values;
}

QStringList charactersWithoutGbk(const QString &text)
{
    QStringList found;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        i += length - 1;
        if (platform::fromGbk(platform::toGbk(character)) != character && !found.contains(character))
            found << character;
    }
    return found;
}

void writeConDbSet(const ConDbSet &values)
{
    // A GBK file would keep "?" in place of such characters: refused
    // before anything is written.
    const QString path = settingsPath();
    if (!contentForRead(path).startsWith(Utf8Bom)) {
        const QStringList lost =
            charactersWithoutGbk(values.user + values.dsn + values.database + values.description);
        if (!lost.isEmpty()) {
            const QString quoted = QStringLiteral("“") + lost.join(QStringLiteral("”、“")) + QStringLiteral("”");
            throw SettingsError(NotGbkText.arg(quoted));
        }
    }
    // Each key is its own write; a failure leaves the keys before it written
    // and does not attempt the rest.
    writeSettingFile(path, Section, KeyUser, values.user);
    writeSettingFile(path, Section, KeyDsn, values.dsn);
    writeSettingFile(path, Section, KeyDatabase, values.database);
    writeSettingFile(path, Section, KeyDescription, values.description);
}

} // namespace settings

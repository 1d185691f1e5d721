#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <stdexcept>

// The settings file dbset.ini beside the executable, read and written with
// private-profile (INI) semantics. The file is GBK text with CR LF lines.

class SettingsError : public std::runtime_error
{
public:
    explicit SettingsError(const QString &message);
};

namespace settings {

inline const QString Section = QStringLiteral("ConDBSet");
inline const QString KeyUser = QStringLiteral("SQLUser");
inline const QString KeyDsn = QStringLiteral("DSN");
inline const QString KeyDatabase = QStringLiteral("DATABASE");
inline const QString KeyDescription = QStringLiteral("DSN_Description");

// Values used when the file, the section or the key is missing.
inline const QString DefaultUser = QStringLiteral("qtrl");
inline const QString DefaultDsn = QStringLiteral("sse");
inline const QString DefaultDatabase = QStringLiteral("OIW");
inline const QString DefaultDescription = QStringLiteral("本地上海报盘数据库");

// The executable's directory followed by "dbset.ini".
QString settingsPath();

// Private-profile read: case-insensitive section and key, blanks and one
// pair of enclosing quotes dropped, the default when the file, section or
// key is missing, at most 2047 characters.
QString readSetting(const QString &section, const QString &key, const QString &defaultValue);
// Private-profile write: replaces the value in place or appends the key or
// section, leaving every other line byte for byte. The file is replaced
// atomically where its folder allows, else written in place. Throws
// SettingsError("Unable to write to <path>").
void writeSetting(const QString &section, const QString &key, const QString &value);

// Every raw line of the file that contains "DSNDst", in file order.
// Throws SettingsError("File not found") when the file is missing, or the
// text of the input/output error when it cannot be read.
QStringList readDsnList();

struct DsnEntry
{
    QString description;
    QString dsn;
    QString user;
    QString database;
};
// Splits a DSN list line by the fixed position rule.
DsnEntry splitEntry(const QString &line);

// The four settings of section ConDBSet with their defaults.
struct ConDbSet
{
    QString user;        // SQLUser, default "qtrl"
    QString dsn;         // DSN, default "sse"
    QString database;    // DATABASE, default "OIW"
    QString description; // DSN_Description, default "本地上海报盘数据库"
};
ConDbSet readConDbSet();
// Writes SQLUser, DSN, DATABASE, DSN_Description in that order; stops at
// the first failing write. Writes nothing, and throws SettingsError naming
// them, when the values hold characters a GBK file cannot keep.
void writeConDbSet(const ConDbSet &values);

// The characters of the text that GBK has no form for, each once, in the
// order they first appear.
QStringList charactersWithoutGbk(const QString &text);

// writeSetting on a file named by its path.
void writeSettingFile(const QString &path, const QString &section, const QString &key,
                      const QString &value);

// The byte-level engine behind the file operations, for callers and tests
// that work on a file's content directly.
QString profileRead(const QByteArray &content, const QString &section, const QString &key,
                    const QString &defaultValue);
QByteArray profileWrite(const QByteArray &content, const QString &section, const QString &key,
                        const QString &value);

} // namespace settings

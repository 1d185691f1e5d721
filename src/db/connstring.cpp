#include "db/connstring.h"

#include "db/odbc.h"

namespace {

bool hasOuterBlank(const QString &value)
{
    return !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
}

bool holdsSemicolonOrQuote(const QString &value)
{
    return value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('"')) || value.contains(QLatin1Char('\''));
}

QString quoted(const QString &value)
{
    QString text = value;
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString quoteProviderValue(const QString &value)
{
    return holdsSemicolonOrQuote(value) || hasOuterBlank(value) ? quoted(value) : value;
}

QString quoteTrimmedProviderValue(const QString &value)
{
    return holdsSemicolonOrQuote(value) ? quoted(value.trimmed()) : value;
}

QString loginConnectionString(const QString &password, const QString &user, const QString &dsn)
{
    return QStringLiteral("Provider=MSDASQL.1; password=") + quoteProviderValue(password)
        + QStringLiteral(";Persist Security Info=False;User ID=") + quoteTrimmedProviderValue(user)
        + QStringLiteral(";Data Source=") + quoteTrimmedProviderValue(dsn);
}

QList<QPair<QString, QString>> parseProviderString(const QString &text)
{
    QList<QPair<QString, QString>> pairs;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // Key: up to "=" (or the end of the segment).
        const qsizetype keyStart = i;
        while (i < n && text[i] != QLatin1Char('=') && text[i] != QLatin1Char(';'))
            ++i;
        const QString key = text.mid(keyStart, i - keyStart).trimmed();
        if (i >= n || text[i] == QLatin1Char(';')) {
            if (!key.isEmpty())
                throw ProgramError(QStringLiteral("连接字符串的属性“%1”无效").arg(key));
            ++i; // empty segment
            continue;
        }
        ++i; // "="
        if (key.isEmpty())
            throw ProgramError(QStringLiteral("连接字符串无效：有一个值没有属性名"));
        while (i < n && text[i].isSpace())
            ++i;
        QString value;
        if (i < n && (text[i] == QLatin1Char('"') || text[i] == QLatin1Char('\''))) {
            const QChar quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed)
                throw ProgramError(QStringLiteral("连接字符串无效：“%1”的值缺少结束引号").arg(key));
            while (i < n && text[i].isSpace())
                ++i;
            if (i < n && text[i] != QLatin1Char(';'))
                throw ProgramError(QStringLiteral("连接字符串无效：“%1”的引号值后还有文字").arg(key));
        } else {
            const qsizetype valueStart = i;
            while (i < n && text[i] != QLatin1Char(';'))
                ++i;
            value = text.mid(valueStart, i - valueStart).trimmed();
        }
        pairs.append({key, value});
        if (i < n)
            ++i; // ";"
    }
    return pairs;
}

QString odbcValue(const QString &value)
{
    if (value.contains(QChar(0)))
        throw ProgramError(QStringLiteral("连接字符串的值不能含有空字符"));
    const bool needsBraces = value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('{'))
        || value.contains(QLatin1Char('}')) || value.contains(QLatin1Char('='))
        || hasOuterBlank(value);
    if (!needsBraces)
        return value;
    QString braced = value;
    braced.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + braced + QLatin1Char('}');
}

QString toOdbcConnectionString(const QString &providerString)
{
    struct Target
    {
        const char *odbcKey;
        std::initializer_list<const char *> providerKeys;
        bool present = false;
        QString value;
    };
    Target targets[] = {
        {"DSN", {"data source", "dsn"}, false, {}},
        {"UID", {"user id", "uid"}, false, {}},
        {"PWD", {"password", "pwd"}, false, {}},
    };
    // The last occurrence of a key wins, as for any provider string.
    for (const auto &pair : parseProviderString(providerString)) {
        const QString key = pair.first.toLower();
        for (Target &target : targets) {
            for (const char *name : target.providerKeys) {
                if (key == QLatin1String(name)) {
                    target.present = true;
                    target.value = pair.second;
                }
            }
        }
    }
    QStringList parts;
    for (const Target &target : targets) {
        if (target.present)
            parts << QLatin1String(target.odbcKey) + QLatin1Char('=') + odbcValue(target.value);
    }
    return parts.join(QLatin1Char(';'));
}

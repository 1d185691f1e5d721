#pragma once

// Models of the parsers' documented behaviour, written independently of the
// code under test, for the property tests and the fuzz targets.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace model {

// The ODBC connection-string grammar as the driver manager reads it: pairs
// separated by ";", a value in braces runs to the first "}" not doubled,
// "}}" inside braces is one "}", and a key given twice keeps its last value.
inline QList<QPair<QString, QString>> readOdbcString(const QString &text)
{
    QList<QPair<QString, QString>> pairs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && (text[i] == ';' || text[i].isSpace()))
            ++i;
        if (i >= n)
            break;
        const qsizetype eq = text.indexOf('=', i);
        if (eq < 0)
            break;
        const QString key = text.mid(i, eq - i);
        i = eq + 1;
        QString value;
        if (i < n && text[i] == '{') {
            ++i;
            while (i < n && (text[i] != '}' || (i + 1 < n && text[i + 1] == '}'))) {
                if (text[i] == '}')
                    ++i;
                value += text[i++];
            }
            ++i; // closing brace
            if (i < n && text[i] != ';')
                return {}; // text after a braced value is malformed
        } else {
            while (i < n && text[i] != ';')
                value += text[i++];
        }
        bool replaced = false;
        for (auto &pair : pairs) {
            if (pair.first.compare(key, Qt::CaseInsensitive) == 0) {
                pair.second = value;
                replaced = true;
            }
        }
        if (!replaced)
            pairs.append({key, value});
    }
    return pairs;
}

// What a read gives back of a written value: up to the first NUL or line
// break, without outer blanks (the profile's blanks) and one pair of
// enclosing quotes, at most 2047 characters.
inline QString readBack(const QString &written)
{
    QString value = written.left(written.indexOf(QRegularExpression(QStringLiteral("[\\x00\r\n]"))));
    static const QRegularExpression outerBlanks(QStringLiteral("^[\t-\r\x1a ]+|[\t-\r\x1a ]+$"));
    value.remove(outerBlanks);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value.left(2047);
}

// True when `after` holds the lines of `before` with at most one line
// replaced and one section header added, and the changed lines set `key`.
inline bool onlyKeyLinesDiffer(const QByteArray &before, const QByteArray &after, const QString &key)
{
    // Lines split at CR LF, LF or CR, without their breaks: a last line
    // without a break gains one when something is added after it.
    const auto lines = [](const QByteArray &content) {
        QList<QByteArray> list{QByteArray()};
        for (qsizetype i = 0; i < content.size(); ++i) {
            if (content[i] != '\r' && content[i] != '\n') {
                list.back() += content[i];
                continue;
            }
            if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')
                ++i;
            list.append(QByteArray());
        }
        return list;
    };
    const QList<QByteArray> a = lines(before);
    const QList<QByteArray> b = lines(after);
    qsizetype prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix
           && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const QList<QByteArray> removed = a.mid(prefix, a.size() - prefix - suffix);
    const QList<QByteArray> added = b.mid(prefix, b.size() - prefix - suffix);
    if (removed.size() > 1 || added.size() > 3)
        return false;
    for (const QByteArray &line : added) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty() && !text.startsWith(QLatin1Char('['))
            && text.section(QLatin1Char('='), 0, 0).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

// The general format written from "%.14e": the value rounded to 15
// significant digits, trailing zeros dropped, "E" notation below 1E-4 or
// from 1E15 on.
inline QString roundedTo15Digits(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const char *e = std::strchr(buffer, 'e');
    QString digits;
    for (const char *p = buffer; p < e; ++p) {
        if (*p >= '0' && *p <= '9')
            digits += QLatin1Char(*p);
    }
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    const int exponent = std::atoi(e + 1);
    QString text = value < 0 ? QStringLiteral("-") : QString();
    if (exponent < -4 || exponent >= 15) {
        text += digits.left(1);
        if (digits.size() > 1)
            text += QLatin1Char('.') + digits.mid(1);
        return text + QLatin1Char('E') + QString::number(exponent);
    }
    if (exponent < 0)
        return text + QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + digits;
    digits = digits.leftJustified(exponent + 1, QLatin1Char('0'));
    text += digits.left(exponent + 1);
    if (digits.size() > exponent + 1)
        text += QLatin1Char('.') + digits.mid(exponent + 1);
    return text;
}

} // namespace model

#include "connection/numformat.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

QString formatGeneral(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");
    // %.15g chooses E notation exactly when the rounded exponent is below -4
    // or at least 15, and drops trailing zeros and a bare separator.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    const std::size_t e = text.find('e');
    if (e == std::string::npos)
        return QString::fromLatin1(text.data(), qsizetype(text.size()));
    // "1.5e+20" → "1.5E20", "1e-05" → "1E-5"
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    bool negative = false;
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
        negative = exponent[0] == '-';
        exponent.erase(0, 1);
    }
    const std::size_t firstDigit = exponent.find_first_not_of('0');
    exponent = firstDigit == std::string::npos ? std::string("0") : exponent.substr(firstDigit);
    const std::string formatted = mantissa + 'E' + (negative ? "-" : "") + exponent;
    return QString::fromLatin1(formatted.data(), qsizetype(formatted.size()));
}

ConversionError::ConversionError(const QString &message)
    : std::runtime_error(message.toStdString())
{
}

namespace {

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// Roughly the power of ten of a checked "digits[.digits][e[-]digits]" text:
// positive when its magnitude is at least 1.
long long decimalMagnitude(const std::string &number)
{
    const std::size_t e = number.find('e');
    const std::string mantissa = number.substr(0, e);
    long long exponent = 0;
    if (e != std::string::npos) {
        const bool negative = number[e + 1] == '-';
        for (std::size_t k = e + 1 + (negative ? 1 : 0); k < number.size(); ++k)
            exponent = std::min<long long>(exponent * 10 + (number[k] - '0'), 1000000000LL);
        if (negative)
            exponent = -exponent;
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string::npos)
        return -1; // zero
    const long long position = first < point ? (long long)(point - first) : -(long long)(first - point - 1);
    return position + exponent;
}

} // namespace

qint64 textToInteger(const QString &text)
{
    const auto fail = [&text]() -> ConversionError {
        return ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    };
    std::string digits;
    digits.reserve(std::size_t(text.size()));
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        if (text[i] == QLatin1Char('-'))
            digits += '-';
        ++i;
    }
    if (i >= text.size())
        throw fail();
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!isDigit(c))
            throw fail();
        digits += char(c);
    }
    qint64 value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
        throw fail();
    return value;
}

double textToFloat(const QString &text)
{
    const auto fail = [&text]() -> ConversionError {
        return ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    };
    // [sign] digits [. digits] [E [sign] digits], at least one mantissa digit
    std::string number;
    number.reserve(std::size_t(text.size()));
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int mantissaDigits = 0;
    while (i < n && isDigit(text[i].unicode())) {
        number += char(text[i++].unicode());
        ++mantissaDigits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        number += '.';
        ++i;
        while (i < n && isDigit(text[i].unicode())) {
            number += char(text[i++].unicode());
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        throw fail();
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        number += 'e';
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
            if (text[i] == QLatin1Char('-'))
                number += '-';
            ++i;
        }
        int exponentDigits = 0;
        while (i < n && isDigit(text[i].unicode())) {
            number += char(text[i++].unicode());
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            throw fail();
    }
    if (i != n)
        throw fail();
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is an error.
        if (decimalMagnitude(number) > 0)
            throw fail();
        value = 0;
    } else if (result.ec != std::errc() || result.ptr != number.data() + number.size()) {
        throw fail();
    }
    return negative ? -value : value;
}

#include "base/numformat.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

constexpr int GeneralDigits = 15;

// A finite non-zero value as decimal digits d1 d2 … (no trailing zeros)
// times 10^exponent, with d1 in the units place, rounded to 15 digits.
struct Decimal
{
    char digits[24];
    int count = 0;
    int exponent = 0;
    bool negative = false;
};

Decimal decompose(double value)
{
    Decimal d;
    d.negative = value < 0;
    char text[40];
    // The shortest text that reads back as the value; when that needs more
    // than 15 digits, the value rounded to 15 digits instead. (A shortest
    // text of at most 15 digits is also the value rounded to 15 digits, as
    // long as the value is a normal double: below the smallest normal one
    // the precision drops and the shortest text can have fewer digits.)
    const double magnitude = std::fabs(value);
    const bool subnormal = magnitude < std::numeric_limits<double>::min();
    auto result = subnormal
        ? std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, GeneralDigits - 1)
        : std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
    const auto digitCount = [&] {
        return int(std::find(text, result.ptr, 'e') - text) - (text[1] == '.' ? 1 : 0);
    };
    if (digitCount() > GeneralDigits)
        result = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific,
                               GeneralDigits - 1);
    const char *p = text;
    for (; p < result.ptr && *p != 'e'; ++p) {
        if (*p != '.')
            d.digits[d.count++] = *p;
    }
    while (d.count > 1 && d.digits[d.count - 1] == '0')
        --d.count;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), result.ptr, d.exponent);
    return d;
}

// The digits of scaled / 10^scale rounded to 15, half away from zero.
Decimal decompose(qint64 scaled, int scale)
{
    Decimal d;
    d.negative = scaled < 0;
    const std::uint64_t magnitude = d.negative ? 0 - std::uint64_t(scaled) : std::uint64_t(scaled);
    char text[24];
    const int length = int(std::to_chars(text, text + sizeof text, magnitude).ptr - text);
    d.exponent = length - 1 - scale;
    d.count = std::min(length, GeneralDigits);
    std::copy(text, text + d.count, d.digits);
    if (length > GeneralDigits && text[GeneralDigits] >= '5') {
        int i = d.count - 1;
        while (i >= 0 && d.digits[i] == '9')
            d.digits[i--] = '0';
        if (i >= 0) {
            ++d.digits[i];
        } else { // 999… became 1000…
            d.digits[0] = '1';
            ++d.exponent;
        }
    }
    while (d.count > 1 && d.digits[d.count - 1] == '0')
        --d.count;
    return d;
}

QString layout(const Decimal &d)
{
    char out[48];
    int n = 0;
    if (d.negative)
        out[n++] = '-';
    if (d.exponent < -4 || d.exponent >= GeneralDigits) {
        // 1.5E20, 1E-5
        out[n++] = d.digits[0];
        if (d.count > 1) {
            out[n++] = '.';
            for (int i = 1; i < d.count; ++i)
                out[n++] = d.digits[i];
        }
        out[n++] = 'E';
        n = int(std::to_chars(out + n, out + sizeof out, d.exponent).ptr - out);
    } else if (d.exponent >= 0) {
        for (int i = 0; i <= d.exponent; ++i)
            out[n++] = i < d.count ? d.digits[i] : '0';
        if (d.count > d.exponent + 1) {
            out[n++] = '.';
            for (int i = d.exponent + 1; i < d.count; ++i)
                out[n++] = d.digits[i];
        }
    } else {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = 0; i < -d.exponent - 1; ++i)
            out[n++] = '0';
        for (int i = 0; i < d.count; ++i)
            out[n++] = d.digits[i];
    }
    return QString::fromLatin1(out, n);
}

} // namespace

QString formatGeneral(double value)
{
    char out[GeneralTextSize];
    return QString::fromLatin1(out, formatGeneralTo(value, out));
}

int formatGeneralTo(double value, char *out)
{
    const auto copy = [out](const QString &text) {
        const int n = int(std::min<qsizetype>(text.size(), GeneralTextSize));
        for (int i = 0; i < n; ++i)
            out[i] = char(text.at(i).unicode());
        return n;
    };
    if (std::isnan(value))
        return copy(QStringLiteral("NAN"));
    if (std::isinf(value))
        return copy(value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF"));
    if (value == 0) {
        out[0] = '0';
        return 1;
    }
    // Most values are prices and amounts with at most three decimals. When
    // k/1000 (k whole, at most 15 digits) reads back as the value, it is the
    // value's shortest text and so its 15-digit rounding as well.
    if (std::fabs(value) < 1e12) {
        const long long k = std::llround(value * 1000.0);
        if (k != 0 && double(k) / 1000.0 == value) {
            int n = 0;
            unsigned long long magnitude = k < 0 ? 0ULL - (unsigned long long)k : (unsigned long long)k;
            if (k < 0)
                out[n++] = '-';
            const unsigned long long whole = magnitude / 1000;
            unsigned fraction = unsigned(magnitude % 1000);
            n = int(std::to_chars(out + n, out + GeneralTextSize, whole).ptr - out);
            if (fraction != 0) {
                out[n++] = '.';
                char digits[3] = {char('0' + fraction / 100), char('0' + fraction / 10 % 10), char('0' + fraction % 10)};
                int count = 3;
                while (digits[count - 1] == '0')
                    --count;
                for (int i = 0; i < count; ++i)
                    out[n++] = digits[i];
            }
            return n;
        }
    }
    return copy(layout(decompose(value)));
}

QString formatGeneralDecimal(qint64 scaled, int scale)
{
    if (scaled == 0)
        return QStringLiteral("0");
    return layout(decompose(scaled, scale));
}

bool parseScaledDecimal(QStringView text, int scale, qint64 *scaled)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    const bool negative = i < size && text[i] == u'-';
    if (i < size && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    // The magnitude may reach 2^63 for the smallest value.
    const std::uint64_t limit = negative ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
    std::uint64_t magnitude = 0;
    int digits = 0;
    int decimals = -1; // digits after the point so far; -1 before it
    for (; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < u'0' || c > u'9')
            return false;
        ++digits;
        const auto digit = std::uint64_t(c - u'0');
        if (decimals >= 0 && decimals >= scale) {
            if (digit != 0)
                return false; // more precision than the column has
            continue;
        }
        if (decimals >= 0)
            ++decimals;
        if (magnitude > (limit - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    if (digits == 0)
        return false;
    for (int k = std::max(decimals, 0); k < scale; ++k) {
        if (magnitude > limit / 10)
            return false;
        magnitude *= 10;
    }
    *scaled = negative ? qint64(0 - magnitude) : qint64(magnitude);
    return true;
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
    const auto *p = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *end = p + text.size();
    bool negative = false;
    if (p < end && (*p == u'+' || *p == u'-'))
        negative = *p++ == u'-';
    if (p == end)
        throw fail();
    // The magnitude may reach 2^63 for the smallest value.
    const std::uint64_t limit = negative ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
    std::uint64_t magnitude = 0;
    for (; p < end; ++p) {
        if (!isDigit(*p))
            throw fail();
        const auto digit = std::uint64_t(*p - u'0');
        if (magnitude > (limit - digit) / 10)
            throw fail();
        magnitude = magnitude * 10 + digit;
    }
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

double textToFloat(const QString &text)
{
    const auto fail = [&text]() -> ConversionError {
        return ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    };
    // [sign] digits [. digits] [E [sign] digits], at least one mantissa digit;
    // checked while copied to the narrow text from_chars reads.
    char small[64];
    std::string large;
    char *number = small;
    if (text.size() >= qsizetype(sizeof small)) {
        large.resize(std::size_t(text.size()) + 1);
        number = large.data();
    }
    int n = 0;
    qsizetype i = 0;
    const qsizetype size = text.size();
    const auto *t = reinterpret_cast<const char16_t *>(text.utf16());
    bool negative = false;
    if (i < size && (t[i] == u'+' || t[i] == u'-'))
        negative = t[i++] == u'-';
    int mantissaDigits = 0;
    while (i < size && isDigit(t[i])) {
        number[n++] = char(t[i++]);
        ++mantissaDigits;
    }
    if (i < size && t[i] == u'.') {
        number[n++] = '.';
        ++i;
        while (i < size && isDigit(t[i])) {
            number[n++] = char(t[i++]);
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        throw fail();
    if (i < size && (t[i] == u'e' || t[i] == u'E')) {
        number[n++] = 'e';
        ++i;
        if (i < size && (t[i] == u'+' || t[i] == u'-')) {
            if (t[i] == u'-')
                number[n++] = '-';
            ++i;
        }
        int exponentDigits = 0;
        while (i < size && isDigit(t[i])) {
            number[n++] = char(t[i++]);
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            throw fail();
    }
    if (i != size)
        throw fail();
    double value = 0;
    const auto result = std::from_chars(number, number + n, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is an error.
        if (decimalMagnitude(std::string(number, std::size_t(n))) > 0)
            throw fail();
        value = 0;
    } else if (result.ec != std::errc() || result.ptr != number + n) {
        throw fail();
    }
    return negative ? -value : value;
}

#pragma once

#include <QString>
#include <QStringView>
#include <stdexcept>

// The general number format: rounded to 15 significant digits, shortest
// form, no grouping, "E" notation only when the whole part needs more than
// 15 digits or the magnitude is below 0.0001 (1.5E20, 1E-5).
QString formatGeneral(double value);
// formatGeneral written into `out`, which holds GeneralTextSize characters;
// gives the length.
constexpr int GeneralTextSize = 48;
int formatGeneralTo(double value, char *out);
// The same format of the exact decimal scaled / 10^scale (scale 0 to 18);
// digits beyond the 15th are rounded half away from zero.
QString formatGeneralDecimal(qint64 scaled, int scale);

// Reads a decimal text as a driver gives it ("-1234.50", ".5", "7") into
// scaled / 10^scale exactly. False when the text is no such number, has
// non-zero digits beyond the scale, or does not fit in 64 bits.
bool parseScaledDecimal(QStringView text, int scale, qint64 *scaled);

// Conversions of text to numbers as the statistics use them.
class ConversionError : public std::runtime_error
{
public:
    explicit ConversionError(const QString &message);
};

// Whole number in 64 bits; throws ConversionError
// ("'x' is not a valid integer value").
qint64 textToInteger(const QString &text);
// Decimal number with "." as separator; throws ConversionError
// ("'x' is not a valid floating point value").
double textToFloat(const QString &text);

#pragma once

#include <QString>
#include <stdexcept>

// The general number format: rounded to 15 significant digits, shortest
// form, no grouping, "E" notation only when the whole part needs more than
// 15 digits or the magnitude is below 0.0001 (1.5E20, 1E-5).
QString formatGeneral(double value);

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

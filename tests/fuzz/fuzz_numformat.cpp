// The general number format equals the "%.14e" rounding laid out by its
// rules; the conversions of text never crash.
#include "fuzz/fuzzinput.h"
#include "support/properties.h"

#include "base/numformat.h"

#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        if (std::isfinite(value))
            fuzz::require(formatGeneral(value) == model::roundedTo15Digits(value));
    }
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        textToFloat(text);
    } catch (const ConversionError &) {
    }
    try {
        textToInteger(text);
    } catch (const ConversionError &) {
    }
    return 0;
}

// GBK decoding keeps every line break and NUL; valid GBK round-trips.
#include "fuzz/fuzzinput.h"

#include "base/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = platform::fromGbk(bytes);
    for (const char c : {'\r', '\n', '\0'})
        fuzz::require(text.count(QLatin1Char(c)) == bytes.count(c));
    if (!text.contains(QChar(0xfffd)))
        fuzz::require(platform::toGbk(text) == bytes);
    return 0;
}

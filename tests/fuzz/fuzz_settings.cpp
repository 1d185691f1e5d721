// Settings write-then-read: the value comes back as the documented cuts
// leave it, and no other line changes. Arbitrary bytes are read as well.
#include "fuzz/fuzzinput.h"
#include "support/properties.h"

#include "base/settings.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QList<QByteArray> pool{"[ConDBSet]", "[condbset]", "[Other]", "SQLUser=u1", " DSN = d1 ",
                                        "DATABASE=\"q\"", "dsn_description", "DSNDst1=desc,dsn.user..db",
                                        "; comment", "", "x=\xd6\xd0", "\r", "\n"};
    static const QStringList keys{"SQLUser", "DSN", "DATABASE", "DSN_Description", "dsn"};
    static const QString alphabet = QStringLiteral(" \t\"'=;[]a9中\r\n") + QChar(0);

    fuzz::Input input(data, size);
    const QByteArray raw = input.bytes();
    settings::profileRead(raw, QStringLiteral("ConDBSet"), QStringLiteral("DSN"), QStringLiteral("d"));

    QByteArray before;
    for (const char c : raw)
        before += pool.at(std::uint8_t(c) % pool.size()) + (c & 1 ? "\r\n" : "");
    const QByteArray choice = input.bytes() + QByteArray(2, '\0');
    const QString section = choice[0] & 1 ? QStringLiteral("Other") : QStringLiteral("ConDBSet");
    const QString key = keys.at(std::uint8_t(choice[1]) % keys.size());
    QString value;
    for (const char c : input.bytes())
        value += alphabet.at(std::uint8_t(c) % alphabet.size());

    const QByteArray after = settings::profileWrite(before, section, key, value);
    fuzz::require(settings::profileRead(after, section, key, QStringLiteral("d")) == model::readBack(value));
    fuzz::require(model::onlyKeyLinesDiffer(before, after, key));
    return 0;
}

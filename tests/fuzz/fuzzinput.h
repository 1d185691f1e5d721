#pragma once

// Splits a fuzzer's bytes into the pieces a target needs.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace fuzz {

// Reads the input front to back: pieces end at a 0xFF byte or the end.
class Input
{
public:
    Input(const std::uint8_t *data, std::size_t size)
        : m_bytes(reinterpret_cast<const char *>(data), qsizetype(size))
    {
    }
    QByteArray bytes()
    {
        qsizetype end = m_bytes.indexOf('\xff', m_at);
        if (end < 0)
            end = m_bytes.size();
        const QByteArray piece = m_bytes.mid(m_at, end - m_at);
        m_at = end + 1;
        return piece;
    }
    // A piece as UTF-16 code units.
    QString text()
    {
        const QByteArray piece = bytes();
        return QString(reinterpret_cast<const QChar *>(piece.constData()), piece.size() / 2);
    }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};

inline void require(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace fuzz

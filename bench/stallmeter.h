#pragma once

// The longest gap between two ticks of a 10 ms timer on the thread that
// made it: how long the UI thread was kept from its events.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace bench {

class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_timer.start(10);
        m_last = m_clock.elapsed();
    }
    qint64 longest() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace bench

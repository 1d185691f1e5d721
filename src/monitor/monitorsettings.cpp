#include "monitor/monitorsettings.h"

#include "base/settings.h"
#include "flow/flowreader.h"

namespace monitorsettings {

namespace {

constexpr int DefaultRejectBurst = 20;

int readWithin(const QString &key, int fallback, int most)
{
    bool ok = false;
    const int value = settings::readSetting(Section, key, QString()).toInt(&ok);
    return ok && value >= 1 && value <= most ? value : fallback;
}

} // namespace

int read(const QString &key, int fallback)
{
    return readWithin(key, fallback, 60);
}

int querySeconds()
{
    return readWithin(KeyQuerySeconds, flow::DefaultQuerySeconds, 3600);
}

int rejectBurst()
{
    return readWithin(KeyRejectBurst, DefaultRejectBurst, 100000);
}

} // namespace monitorsettings

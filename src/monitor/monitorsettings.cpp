#include "monitor/monitorsettings.h"

#include "base/settings.h"

namespace monitorsettings {

int read(const QString &key, int fallback)
{
    return read(key, fallback, 1, 60);
}

int read(const QString &key, int fallback, int minimum, int maximum)
{
    bool ok = false;
    const int value = settings::readSetting(Section, key, QString()).toInt(&ok);
    return ok && value >= minimum && value <= maximum ? value : fallback;
}

} // namespace monitorsettings

#include "monitor/monitorsettings.h"

#include "base/settings.h"

namespace monitorsettings {

int read(const QString &key, int fallback)
{
    bool ok = false;
    const int value = settings::readSetting(Section, key, QString()).toInt(&ok);
    return ok && value >= 1 && value <= 60 ? value : fallback;
}

} // namespace monitorsettings

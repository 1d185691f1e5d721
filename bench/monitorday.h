#pragma once

// The day the monitor's figures are taken on: a generated file with the
// keys of a production database.

#include "gendata.h"

#include <QFile>
#include <QString>

#include <string>

namespace bench {

inline std::string fileName(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// The production tables are keyed by rec_num (clustered) and the trades are
// read by their number: the same indexes here.
inline void addMonitorKeys(const QString &path)
{
    gendata::execute(fileName(path),
                     "create index ordwth_rec on ashare_ordwth(rec_num);"
                     "create index ordwth2_rec on ashare_ordwth2(rec_num);"
                     "create index cjhb_no on ashare_cjhb(cast(cjbh as bigint));");
}

} // namespace bench

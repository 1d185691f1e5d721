// Figures of the export: the listed trade rows written as CSV and as an
// Excel workbook, against the time of the window's list of the same rows,
// and the memory the workbook writer adds at its peak.

#include "bench.h"

#include "base/platform.h"
#include "db/query.h"
#include "connection/datamodule.h"
#include "db/command.h"
#include "export/export.h"
#include "export/zipcheck.h"
#include "query/gridmenu.h"
#include "query/queryform.h"
#include "query/querypage.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double MegaByte = 1024.0 * 1024.0;

double exportSeconds(const QList<ExportColumn> &columns, const QString &path, ExportFormat format, bool keep = false)
{
    CommandControl control;
    const bench::Stopwatch watch;
    exportResult(*datamod->qry1->result(), columns, path, format, control);
    const double seconds = watch.seconds();
    if (control.rows() != datamod->qry1->recordCount()) {
        std::fprintf(stderr, "export wrote %lld rows\n", static_cast<long long>(control.rows()));
        std::exit(1);
    }
    if (!keep)
        QFile::remove(path);
    return seconds;
}

const bench::FigureGroup exportFigures(30, [](bench::Context &context) {
    queryform->show();
    QCoreApplication::processEvents();
    auto *grid = queryform->findChild<QTableView *>(QStringLiteral("DBGrid1"));
    auto *list = queryform->findChild<QPushButton *>(QStringLiteral("Button1"));
    auto *count = queryform->findChild<QLabel *>(QStringLiteral("Label12"));

    const bench::Stopwatch listWatch;
    list->click();
    const double listSeconds = listWatch.seconds();
    QCoreApplication::processEvents();
    if (count->text() != QString::number(context.rows)) {
        std::fprintf(stderr, "count label shows %s\n", qPrintable(count->text()));
        std::exit(1);
    }
    const QList<ExportColumn> columns = exportColumns(grid, *datamod->DataSource1, queryform->page(1).sortState());
    QTemporaryDir dir;

    const double csv = exportSeconds(columns, dir.filePath(QStringLiteral("trades.csv")), ExportFormat::Csv);
    bench::report("export_csv_s", csv);
    bench::report("export_csv_vs_list", csv / listSeconds);

    const bool reset = platform::resetPeakResident();
    const qint64 before = platform::residentBytes();
    const QString workbook = dir.filePath(QStringLiteral("trades.xlsx"));
    const double xlsx = exportSeconds(columns, workbook, ExportFormat::Xlsx, true);
    const qint64 peak = platform::windowPeakResidentBytes();
    bench::report("export_xlsx_s", xlsx);
    // The export reads the finished workbook back once; its share of the export.
    const bench::Stopwatch checkWatch;
    const std::vector<SheetContent> sheets(std::size_t(std::max<qint64>(1, (context.rows + MaxSheetRows - 1) / MaxSheetRows)));
    const bool whole = workbookComplete(workbook, sheets);
    const double check = checkWatch.seconds();
    if (!whole) {
        std::fprintf(stderr, "the exported workbook does not read back\n");
        std::exit(1);
    }
    QFile::remove(workbook);
    bench::report("export_xlsx_readback_s", check);
    bench::report("export_xlsx_readback_share", check / xlsx);
    bench::report("export_xlsx_vs_list", xlsx / listSeconds);
    if (reset)
        bench::report("export_xlsx_peak_growth_mb", double(peak - before) / MegaByte);
    queryform->hide();
});

} // namespace

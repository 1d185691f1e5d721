#include "query/exportdialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

const QString XlsxFilter = QStringLiteral("Excel 工作簿 (*.xlsx)");
const QString CsvFilter = QStringLiteral("CSV 文件 (*.csv)");

namespace {

const QString DialogTitle = QStringLiteral("导出");
const QString XlsxSuffix = QStringLiteral("xlsx");
const QString CsvSuffix = QStringLiteral("csv");

// The folder of the last export of this run.
QString &lastFolder()
{
    static QString folder;
    return folder;
}

QString suffixOf(const QString &filter)
{
    return filter == CsvFilter ? CsvSuffix : XlsxSuffix;
}

} // namespace

QString defaultExportName(const QString &table, const QDateTime &time)
{
    return QStringLiteral("%1_%2.%3").arg(table, time.toString(QStringLiteral("yyyyMMdd_HHmmss")), XlsxSuffix);
}

ExportFormat exportFormatFor(const QString &path, const QString &selectedFilter)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(CsvSuffix, Qt::CaseInsensitive) == 0)
        return ExportFormat::Csv;
    if (suffix.compare(XlsxSuffix, Qt::CaseInsensitive) == 0)
        return ExportFormat::Xlsx;
    return suffixOf(selectedFilter) == CsvSuffix ? ExportFormat::Csv : ExportFormat::Xlsx;
}

ExportTarget chooseExportTarget(QWidget *parent, const QString &table)
{
    if (lastFolder().isEmpty())
        lastFolder() = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QFileDialog dialog(parent, DialogTitle, lastFolder(), XlsxFilter + QStringLiteral(";;") + CsvFilter);
    dialog.setObjectName(QStringLiteral("ExportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(XlsxSuffix);
    dialog.selectFile(defaultExportName(table, QDateTime::currentDateTime()));
    // Another filter: the offered name and the added suffix follow it.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        const QString suffix = suffixOf(filter);
        dialog.setDefaultSuffix(suffix);
        const QFileInfo chosen(dialog.selectedFiles().value(0));
        const QString other = suffix == CsvSuffix ? XlsxSuffix : CsvSuffix;
        if (chosen.suffix().compare(other, Qt::CaseInsensitive) == 0)
            dialog.selectFile(chosen.completeBaseName() + QLatin1Char('.') + suffix);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    ExportTarget target;
    target.path = dialog.selectedFiles().constFirst();
    target.format = exportFormatFor(target.path, dialog.selectedNameFilter());
    lastFolder() = QFileInfo(target.path).absolutePath();
    return target;
}

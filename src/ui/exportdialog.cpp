#include "ui/exportdialog.h"

#include "ui/messages.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

const QString XlsxFilter = QStringLiteral("Excel 工作簿 (*.xlsx)");
const QString CsvFilter = QStringLiteral("CSV 文件 (*.csv)");

namespace {

const QString DialogTitle = QStringLiteral("导出");
const QString XlsxSuffix = QStringLiteral("xlsx");
const QString CsvSuffix = QStringLiteral("csv");
const QString NoticeText = QStringLiteral("已导出 %1 行到文件：\r%2");
const QString NoticeCaption = QStringLiteral("导出");
const QString OpenFolderText = QStringLiteral("打开所在文件夹");

// The folder of the last export of this run.
QString &lastFolder()
{
    static QString folder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder;
}

// Information icon, "OK" and "打开所在文件夹", which opens the file's folder.
void noticeBox(const QString &caption, const QString &text, const QString &path)
{
    QMessageBox box(QMessageBox::Information, caption, msg::displayText(text), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ExportNotice"));
    QPushButton *openFolder = box.addButton(OpenFolderText, QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    if (box.clickedButton() == openFolder)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
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

QString chooseWorkbookTarget(QWidget *parent, const QString &title, const QString &objectName, const QString &name)
{
    QFileDialog dialog(parent, title, lastFolder(), XlsxFilter);
    dialog.setObjectName(objectName);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(XlsxSuffix);
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder() = QFileInfo(path).absolutePath();
    return path;
}

QString exportNoticeText(int rows, const QString &path)
{
    return NoticeText.arg(rows).arg(QDir::toNativeSeparators(path));
}

void showExportNotice(int rows, const QString &path)
{
    noticeBox(NoticeCaption, exportNoticeText(rows, path), path);
}

void showFileNotice(const QString &caption, const QString &text, const QString &path)
{
    noticeBox(caption, text + u'\r' + QDir::toNativeSeparators(path), path);
}

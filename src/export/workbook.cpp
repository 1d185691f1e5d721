#include "export/workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace exportfile {

namespace {

const QString CannotCreateText = QStringLiteral("无法创建文件 %1：%2");
const QString CannotReplaceText = QStringLiteral("无法保存文件 %1：%2");
const QString TempFilesText = QStringLiteral("无法写入临时文件（%1）：%2");
const QString WorkbookText = QStringLiteral("无法生成 Excel 文件 %1：%2");
const QString DiskFullText = QStringLiteral("磁盘空间不足");
const QString IncompleteText = QStringLiteral("写出的文件不完整");
const QString OutOfMemoryText = QStringLiteral("内存不足");

// Why the workbook writer failed: its own text, or memory running out in
// the operator's words.
QString writerReason(lxw_error error)
{
    if (error == LXW_ERROR_MEMORY_MALLOC_FAILED)
        return OutOfMemoryText;
    return QString::fromUtf8(lxw_strerror(error));
}

// Rows between two progress reports.
constexpr qint64 RowBlock = 1024;

// The errors a write to a file can end in: those that explain a file that
// came out short.
bool isWriteError(int error)
{
    return error == ENOSPC || error == EFBIG || error == EIO
#ifdef EDQUOT
        || error == EDQUOT
#endif
        ;
}

// "~", up to eight hex digits of the CRC-32 of the name (as many as keep
// the pending name within the target's length), ".".
QString pendingPrefix(const QString &targetName)
{
    const QByteArray name = targetName.toUtf8();
    const uLong sum = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(name.constData()), uInt(name.size()));
    const qsizetype digits = std::clamp<qsizetype>(targetName.size() - 6, 0, 8);
    return QLatin1Char('~') + QStringLiteral("%1").arg(quint32(sum), 8, 16, QLatin1Char('0')).left(digits)
        + QLatin1Char('.');
}

// Removes what an earlier export of the same target left when it was
// killed: files of its pending names in the target's folder.
void removeLeftovers(const QString &target)
{
    const QFileInfo info(target);
    QDir folder = info.absoluteDir();
    const QString prefix = pendingPrefix(info.fileName());
    const QStringList names =
        folder.entryList({prefix + QStringLiteral("????")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name.size() == pendingFileName(info.fileName(), 0).size())
            folder.remove(name);
    }
}

// Writes up to `bytes` into a scratch file in the folder and gives the
// reason the first failing write gives, empty when all succeed: why the
// workbook writer's temporary files came out short, which it does not tell.
QString writeProbe(const QString &folder, qint64 bytes)
{
    QFile probe(QDir(folder).filePath(
        QStringLiteral("~probe.%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
    const auto reason = [&probe] { return errno != 0 ? writeReason(errno) : probe.errorString(); };
    errno = 0;
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return reason();
    const QByteArray block(1 << 20, '\0');
    QString failure;
    for (qint64 written = 0; written < bytes && failure.isEmpty(); written += block.size()) {
        errno = 0;
        if (probe.write(block) != block.size())
            failure = reason();
    }
    probe.close();
    probe.remove();
    return failure;
}

QByteArray nativePath(const QString &path)
{
#ifdef _WIN32
    return path.toUtf8(); // the writer opens UTF-8 names with the wide API
#else
    return QFile::encodeName(path);
#endif
}

} // namespace

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::generic_category().message(error));
}

QString writeReason(int error)
{
    return error == ENOSPC ? DiskFullText : systemReason(error);
}

int textWidth(QStringView text)
{
    int width = 0;
    for (QChar c : text)
        width += c.unicode() < 0x1100 ? 1 : 2;
    return width;
}

int numberWidth(double value)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return int(end - digits);
}

// ---------------------------------------------------------------- Progress

void Progress::at(qint64 row)
{
    if (row - m_reported >= RowBlock) {
        m_control.addRows(row - m_reported);
        m_reported = row;
    }
    if (m_control.cancelRequested())
        throw OperationCancelled();
}

void Progress::done(qint64 rows)
{
    m_control.addRows(rows - m_reported);
    m_reported = rows;
}

// ---------------------------------------------------------------- PendingFile

PendingFile::PendingFile(const QString &target)
    : m_target(target)
{
    removeLeftovers(target);
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const auto serial = quint16(QRandomGenerator::global()->generate());
        m_path = info.dir().filePath(pendingFileName(info.fileName(), serial));
        QFile file(m_path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_file = std::filesystem::path(m_path.toStdU16String());
            return;
        }
        if (file.error() != QFileDevice::OpenError || !QFileInfo::exists(m_path)) {
            m_path.clear();
            throw ExportError(CannotCreateText.arg(native(target), file.errorString()));
        }
    }
    m_path.clear();
    throw ExportError(CannotCreateText.arg(native(target), systemReason(EEXIST)));
}

// Also while memory running out unwinds the export: the path was made
// ready with the file, and removing it allocates nothing.
PendingFile::~PendingFile()
{
    if (m_path.isEmpty())
        return;
    std::error_code error;
    std::filesystem::remove(m_file, error);
}

void PendingFile::commit()
{
    std::error_code error;
    std::filesystem::rename(m_file, std::filesystem::path(m_target.toStdU16String()), error);
    if (error)
        throw ExportError(CannotReplaceText.arg(native(m_target), QString::fromLocal8Bit(error.message())));
    m_path.clear();
}

// ---------------------------------------------------------------- Workbook

Workbook::Workbook(const QString &file, const QString &target, const QString &tempFolder)
    : m_file(file)
    , m_target(target)
    , m_tempFolderPath(tempFolder)
    , m_tempFolder(native(tempFolder))
    , m_tempFolderBytes(nativePath(tempFolder))
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_tempFolderBytes.data();
    options.use_zip64 = LXW_FALSE;
    const QByteArray name = nativePath(file);
    m_workbook = workbook_new_opt(name.constData(), &options);
    if (!m_workbook)
        fail(writerReason(LXW_ERROR_MEMORY_MALLOC_FAILED));
    m_bold = workbook_add_format(m_workbook);
    if (!m_bold) {
        lxw_workbook_free(m_workbook);
        m_workbook = nullptr;
        fail(writerReason(LXW_ERROR_MEMORY_MALLOC_FAILED));
    }
    format_set_bold(m_bold);
}

Workbook::~Workbook()
{
    if (!m_workbook)
        return;
    // Freeing an unclosed workbook leaves the sheets' temporary files
    // open: deleted files whose room the disk gets back only at exit.
    for (lxw_worksheet *sheet : m_sheets) {
        if (sheet->optimize_tmpfile) {
            std::fclose(sheet->optimize_tmpfile);
            sheet->optimize_tmpfile = nullptr;
        }
    }
    lxw_workbook_free(m_workbook);
}

lxw_format *Workbook::numberFormat(const char *format, bool bold)
{
    lxw_format *added = workbook_add_format(m_workbook);
    if (!added)
        fail(writerReason(LXW_ERROR_MEMORY_MALLOC_FAILED));
    format_set_num_format(added, format);
    if (bold)
        format_set_bold(added);
    return added;
}

void Workbook::number(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, double value, lxw_format *format)
{
    check(worksheet_write_number(sheet, row, column, value, format));
    counted(row);
}

void Workbook::text(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const char *utf8, lxw_format *format)
{
    check(worksheet_write_string(sheet, row, column, utf8, format));
    if (*utf8 != '\0' || format) // the writer skips an empty text without a format
        counted(row);
}

void Workbook::check(lxw_error error) const
{
    if (error != LXW_NO_ERROR)
        fail(writerReason(error));
}

void Workbook::fail(const QString &reason) const
{
    throw ExportError(WorkbookText.arg(native(m_target), reason));
}

lxw_worksheet *Workbook::addSheet(const char *utf8Name)
{
    errno = 0;
    lxw_worksheet *sheet = workbook_add_worksheet(m_workbook, utf8Name);
    if (!sheet || !sheet->optimize_tmpfile)
        tempFailure(errno ? errno : EACCES);
    m_sheets.push_back(sheet);
    m_contents.push_back({0, 0});
    return sheet;
}

void Workbook::checkSheet(lxw_worksheet *sheet)
{
    errno = 0;
    if (std::fflush(sheet->optimize_tmpfile) != 0 || std::ferror(sheet->optimize_tmpfile))
        tempFailure(errno ? errno : EIO);
    m_largestTemp = std::max<qint64>(m_largestTemp, std::ftell(sheet->optimize_tmpfile));
}

void Workbook::close()
{
    errno = 0;
    const lxw_error error = workbook_close(m_workbook); // frees it, failed or not
    const int systemError = errno;
    m_workbook = nullptr;
    if (error != LXW_NO_ERROR) {
        QString reason = writerReason(error);
        if (isWriteError(systemError))
            reason = writeReason(systemError);
        else if (systemError != 0)
            reason += QStringLiteral(" (%1)").arg(systemReason(systemError));
        fail(reason);
    }
    if (!workbookComplete(m_file, m_contents)) {
        // A sheet is assembled from its temporary file into another one
        // while the first still holds the rows: room for both was needed.
        QString reason = isWriteError(systemError) ? writeReason(systemError)
                                                   : writeProbe(m_tempFolderPath, 2 * m_largestTemp + (1 << 20));
        if (reason.isEmpty())
            reason = IncompleteText;
        fail(reason);
    }
}

// One more cell in the current sheet, rows being written in order.
void Workbook::counted(lxw_row_t row)
{
    SheetContent &content = m_contents.back();
    ++content.cells;
    if (content.rows == 0 || row != m_lastRow) {
        ++content.rows;
        m_lastRow = row;
    }
}

void Workbook::tempFailure(int error)
{
    throw ExportError(TempFilesText.arg(m_tempFolder, writeReason(error)));
}

void closeWorkbook(std::unique_ptr<Workbook> book, Progress &progress)
{
    const CommandControl::Abandonable abandonable(&progress.control());
    book->close();
}

QString tempFolderFor(const QString &target, const ExportOptions &options)
{
    return options.tempFolder.isEmpty() ? QFileInfo(target).absolutePath() : options.tempFolder;
}

} // namespace exportfile

QString pendingFileName(const QString &targetName, quint16 serial)
{
    return exportfile::pendingPrefix(targetName) + QStringLiteral("%1").arg(serial, 4, 16, QLatin1Char('0'));
}

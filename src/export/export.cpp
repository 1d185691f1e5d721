#include "export/export.h"

#include "base/numformat.h"
#include "db/resultset.h"
#include "db/command.h"
#include "export/zipcheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <zlib.h>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

const QString CannotCreateText = QStringLiteral("无法创建文件 %1：%2");
const QString CannotWriteText = QStringLiteral("无法写入文件 %1：%2");
const QString CannotReplaceText = QStringLiteral("无法保存文件 %1：%2");
const QString TempFilesText = QStringLiteral("无法写入临时文件（%1）：%2");
const QString WorkbookText = QStringLiteral("无法生成 Excel 文件 %1：%2");
const QString DiskFullText = QStringLiteral("磁盘空间不足");
const QString IncompleteText = QStringLiteral("写出的文件不完整");

// Rows between two progress reports.
constexpr int RowBlock = 1024;
// Bytes collected before a CSV write.
constexpr qsizetype CsvChunk = 1 << 20;
// Excel keeps at most this many characters in a cell.
constexpr qsizetype MaxCellCharacters = 32767;
// Column widths of a worksheet, in characters.
constexpr double MaxSheetColumnWidth = 60;
constexpr double FilterButtonWidth = 2;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::generic_category().message(error));
}

// Why a write failed, in the operator's words: a full disk by name.
QString writeReason(int error)
{
    return error == ENOSPC ? DiskFullText : systemReason(error);
}

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

bool readsAsNumber(QStringView text)
{
    text = text.trimmed();
    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 0x80)
            ++i;
        return i - from;
    };
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    qsizetype mantissa = digits();
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

// Appends the UTF-8 form of the text; a lone surrogate becomes U+FFFD.
template <typename Bytes>
void appendUtf8(Bytes &out, QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *end = p + text.size();
    while (p < end) {
        char32_t c = *p++;
        if (c < 0x80) {
            out.push_back(char(c));
            continue;
        }
        if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(*p++) - 0xDC00);
                out.push_back(char(0xF0 | (c >> 18)));
                out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
                out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
                out.push_back(char(0x80 | (c & 0x3F)));
                continue;
            }
            c = 0xFFFD;
        }
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

// Width of a text in a spreadsheet's character units: wide (CJK) characters
// count twice.
int textWidth(QStringView text)
{
    int width = 0;
    for (QChar c : text)
        width += c.unicode() < 0x1100 ? 1 : 2;
    return width;
}

// The result column shown by each export column, -1 when unbound.
std::vector<int> resultColumns(const ResultSet &result, const QList<ExportColumn> &columns)
{
    std::vector<int> bound;
    bound.reserve(std::size_t(columns.size()));
    for (const ExportColumn &column : columns)
        bound.push_back(column.field.isEmpty() ? -1 : result.columnIndex(column.field));
    return bound;
}

// Reports written rows once per block and stops at the cancel flag.
class Progress
{
public:
    explicit Progress(CommandControl &control)
        : m_control(control)
    {
    }

    // Before writing the row at this position.
    void at(int row)
    {
        if (row - m_reported >= RowBlock) {
            m_control.addRows(row - m_reported);
            m_reported = row;
        }
        if (m_control.cancelRequested())
            throw OperationCancelled();
    }

    bool cancelled() const { return m_control.cancelRequested(); }
    CommandControl &control() { return m_control; }

    void done(int rows)
    {
        m_control.addRows(rows - m_reported);
        m_reported = rows;
    }

private:
    CommandControl &m_control;
    int m_reported = 0;
};

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

// A file written beside its target under a name of its own, renamed over
// the target by commit(); removed again when not committed.
class PendingFile
{
public:
    explicit PendingFile(const QString &target)
        : m_target(target)
    {
        removeLeftovers(target);
        const QFileInfo info(target);
        for (int attempt = 0; attempt < 16; ++attempt) {
            const auto serial = quint16(QRandomGenerator::global()->generate());
            m_path = info.dir().filePath(pendingFileName(info.fileName(), serial));
            QFile file(m_path);
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                return;
            if (file.error() != QFileDevice::OpenError || !QFileInfo::exists(m_path)) {
                m_path.clear();
                throw ExportError(CannotCreateText.arg(native(target), file.errorString()));
            }
        }
        m_path.clear();
        throw ExportError(CannotCreateText.arg(native(target), systemReason(EEXIST)));
    }

    ~PendingFile()
    {
        if (!m_path.isEmpty())
            QFile::remove(m_path);
    }

    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    QString path() const { return m_path; }

    void commit()
    {
        std::error_code error;
        std::filesystem::rename(std::filesystem::path(m_path.toStdU16String()),
                                std::filesystem::path(m_target.toStdU16String()), error);
        if (error)
            throw ExportError(CannotReplaceText.arg(native(m_target), QString::fromLocal8Bit(error.message())));
        m_path.clear();
    }

private:
    QString m_target;
    QString m_path;
};

// ---------------------------------------------------------------- CSV

class CsvWriter
{
public:
    CsvWriter(const QString &path, const QString &target)
        : m_file(path)
        , m_target(target)
    {
        // Unbuffered: each write reaches the system at once, and its error
        // number is still at hand when it fails.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            throw ExportError(CannotCreateText.arg(native(m_target), m_file.errorString()));
        m_buffer.reserve(CsvChunk + 64 * 1024);
        m_buffer.append("\xEF\xBB\xBF");
    }

    // A text field: one a spreadsheet would take for a formula gets an
    // apostrophe in front.
    void text(QStringView text)
    {
        if (startsLikeFormula(text))
            field(QStringLiteral("'").append(text));
        else
            field(text);
    }

    // A field, quoted when it holds a comma, a quote or a line break.
    void field(QStringView text)
    {
        separate();
        const bool quoted = std::any_of(text.begin(), text.end(), [](QChar c) {
            return c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
        });
        if (!quoted) {
            appendUtf8(m_buffer, text);
            return;
        }
        m_buffer.push_back('"');
        qsizetype from = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('"')) {
                appendUtf8(m_buffer, text.mid(from, i + 1 - from));
                m_buffer.push_back('"');
                from = i + 1;
            }
        }
        appendUtf8(m_buffer, text.mid(from));
        m_buffer.push_back('"');
    }

    void integer(qint64 value)
    {
        separate();
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        m_buffer.append(digits, end - digits);
    }

    void empty() { separate(); }

    void endRow()
    {
        m_buffer.append("\r\n", 2);
        m_first = true;
        if (m_buffer.size() >= CsvChunk)
            flush();
    }

    void finish()
    {
        flush();
        errno = 0;
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            fail(errno);
    }

private:
    void separate()
    {
        if (!m_first)
            m_buffer.push_back(',');
        m_first = false;
    }

    void flush()
    {
        errno = 0;
        if (m_file.write(m_buffer) != m_buffer.size())
            fail(errno);
        m_buffer.clear();
    }

    [[noreturn]] void fail(int error)
    {
        const QString reason = error != 0 ? writeReason(error) : m_file.errorString();
        throw ExportError(CannotWriteText.arg(native(m_target), reason));
    }

    QFile m_file;
    QString m_target;
    QByteArray m_buffer;
    bool m_first = true;
};

void writeCsv(const ResultSet &result, const QList<ExportColumn> &columns, const QString &file,
              const QString &target, Progress &progress)
{
    const std::vector<int> bound = resultColumns(result, columns);
    CsvWriter csv(file, target);
    for (const ExportColumn &column : columns)
        csv.text(column.caption);
    csv.endRow();
    const int rows = result.rowCount();
    for (int row = 0; row < rows; ++row) {
        progress.at(row);
        for (const int column : bound) {
            if (column < 0 || result.isNull(row, column)) {
                csv.empty();
                continue;
            }
            switch (result.kind(column)) {
            case FieldKind::Integer:
                csv.integer(result.integer(row, column));
                break;
            case FieldKind::Float:
            case FieldKind::Decimal:
                csv.field(result.text(row, column));
                break;
            case FieldKind::Text:
            default:
                csv.text(result.textView(row, column));
                break;
            }
        }
        csv.endRow();
    }
    csv.finish();
    progress.done(rows);
}

// ---------------------------------------------------------------- Excel

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

// Characters a number takes in a General formatted cell, about.
int numberWidth(double value)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return int(end - digits);
}

class Workbook
{
public:
    Workbook(const QString &file, const QString &target, const QString &tempFolder)
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
            throw ExportError(WorkbookText.arg(native(m_target), QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED))));
        m_bold = workbook_add_format(m_workbook);
        if (!m_bold) {
            lxw_workbook_free(m_workbook);
            throw ExportError(WorkbookText.arg(native(m_target), QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED))));
        }
        format_set_bold(m_bold);
    }

    ~Workbook()
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

    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    lxw_format *bold() const { return m_bold; }

    void number(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, double value)
    {
        check(worksheet_write_number(sheet, row, column, value, nullptr));
        counted(row);
    }

    void text(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const char *utf8, lxw_format *format = nullptr)
    {
        check(worksheet_write_string(sheet, row, column, utf8, format));
        if (*utf8 != '\0' || format) // the writer skips an empty text without a format
            counted(row);
    }

    // A call of the writer that failed ends the export with its reason.
    void check(lxw_error error) const
    {
        if (error != LXW_NO_ERROR)
            throw ExportError(WorkbookText.arg(native(m_target), QString::fromUtf8(lxw_strerror(error))));
    }

    // A new worksheet whose temporary file is open; the writer's other
    // failures show in close().
    lxw_worksheet *addSheet()
    {
        errno = 0;
        lxw_worksheet *sheet = workbook_add_worksheet(m_workbook, nullptr);
        if (!sheet || !sheet->optimize_tmpfile)
            tempFailure(errno ? errno : EACCES);
        m_sheets.push_back(sheet);
        m_contents.push_back({0, 0});
        return sheet;
    }

    // The writer does not look at its temporary file's write errors: a full
    // disk would cut the sheet silently. Checked once the sheet is written.
    void checkSheet(lxw_worksheet *sheet)
    {
        errno = 0;
        if (std::fflush(sheet->optimize_tmpfile) != 0 || std::ferror(sheet->optimize_tmpfile))
            tempFailure(errno ? errno : EIO);
        m_largestTemp = std::max<qint64>(m_largestTemp, std::ftell(sheet->optimize_tmpfile));
    }

    // Writes the file, then reads it back: the writer overlooks failed
    // writes of its temporary files, which leave a sheet with a piece
    // missing, or cut short, inside an otherwise sound file.
    void close()
    {
        errno = 0;
        const lxw_error error = workbook_close(m_workbook); // frees it, failed or not
        const int systemError = errno;
        m_workbook = nullptr;
        if (error != LXW_NO_ERROR) {
            QString reason = QString::fromUtf8(lxw_strerror(error));
            if (isWriteError(systemError))
                reason = writeReason(systemError);
            else if (systemError != 0)
                reason += QStringLiteral(" (%1)").arg(systemReason(systemError));
            throw ExportError(WorkbookText.arg(native(m_target), reason));
        }
        if (!workbookComplete(m_file, m_contents)) {
            // A sheet is assembled from its temporary file into another one
            // while the first still holds the rows: room for both was needed.
            QString reason = isWriteError(systemError) ? writeReason(systemError)
                                                       : writeProbe(m_tempFolderPath, 2 * m_largestTemp + (1 << 20));
            if (reason.isEmpty())
                reason = IncompleteText;
            throw ExportError(WorkbookText.arg(native(m_target), reason));
        }
    }

private:
    // One more cell in the current sheet, rows being written in order.
    void counted(lxw_row_t row)
    {
        SheetContent &content = m_contents.back();
        ++content.cells;
        if (content.rows == 0 || row != m_lastRow) {
            ++content.rows;
            m_lastRow = row;
        }
    }

    [[noreturn]] void tempFailure(int error)
    {
        throw ExportError(TempFilesText.arg(m_tempFolder, writeReason(error)));
    }

    QString m_file;
    QString m_target;
    QString m_tempFolderPath;
    QString m_tempFolder;
    QByteArray m_tempFolderBytes;
    lxw_workbook *m_workbook = nullptr;
    lxw_format *m_bold = nullptr;
    std::vector<lxw_worksheet *> m_sheets;
    std::vector<SheetContent> m_contents; // what went into each sheet
    lxw_row_t m_lastRow = 0;
    qint64 m_largestTemp = 0; // bytes of the largest sheet's temporary file
};

// Writes one worksheet: the header, then `count` rows from `first`.
void writeSheet(Workbook &book, const ResultSet &result, const QList<ExportColumn> &columns,
                const std::vector<int> &bound, int first, int count, Progress &progress)
{
    lxw_worksheet *sheet = book.addSheet();
    const auto lastColumn = lxw_col_t(std::max<qsizetype>(columns.size(), 1) - 1);
    worksheet_freeze_panes(sheet, 1, 0);
    book.check(worksheet_autofilter(sheet, 0, 0, lxw_row_t(count), lastColumn));

    std::string utf8;
    std::vector<int> widths(std::size_t(columns.size()));
    for (qsizetype c = 0; c < columns.size(); ++c) {
        utf8.clear();
        appendUtf8(utf8, columns[c].caption);
        book.text(sheet, 0, lxw_col_t(c), utf8.c_str(), book.bold());
        widths[std::size_t(c)] = int(textWidth(columns[c].caption) + FilterButtonWidth);
    }

    for (int i = 0; i < count; ++i) {
        const int row = first + i;
        progress.at(row);
        const auto sheetRow = lxw_row_t(i + 1);
        for (std::size_t c = 0; c < bound.size(); ++c) {
            const int column = bound[c];
            if (column < 0 || result.isNull(row, column))
                continue;
            int width = 0;
            switch (result.kind(column)) {
            case FieldKind::Integer: {
                const qint64 value = result.integer(row, column);
                book.number(sheet, sheetRow, lxw_col_t(c), double(value));
                width = numberWidth(double(value));
                break;
            }
            case FieldKind::Float:
            case FieldKind::Decimal: {
                const double value = result.real(row, column);
                if (std::isfinite(value)) {
                    book.number(sheet, sheetRow, lxw_col_t(c), value);
                    width = numberWidth(value);
                } else {
                    // A spreadsheet has no NaN or infinities: the grid's text instead.
                    const QString text = result.text(row, column);
                    book.text(sheet, sheetRow, lxw_col_t(c), text.toUtf8().constData());
                    width = int(text.size());
                }
                break;
            }
            case FieldKind::Text:
            default: {
                const QStringView text = result.textView(row, column).left(MaxCellCharacters);
                utf8.clear();
                appendUtf8(utf8, text);
                book.text(sheet, sheetRow, lxw_col_t(c), utf8.c_str());
                if (text.size() > widths[c] / 2) // a wide character counts at most twice
                    width = textWidth(text);
                break;
            }
            }
            widths[c] = std::max(widths[c], width);
        }
    }

    for (std::size_t c = 0; c < widths.size(); ++c)
        book.check(worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c),
                                        std::min<double>(widths[c] + 1, MaxSheetColumnWidth), nullptr));
    book.checkSheet(sheet);
}

// Closing compresses everything written, for many seconds with a large
// result, and cannot be interrupted: a cancel leaves it to finish (see
// "Give-up" in db/worker.h), after which the export removes what it wrote.
// The rows are all in the writer's temporary files by now; the close reads
// nothing of the result.
void closeWorkbook(std::unique_ptr<Workbook> book, Progress &progress)
{
    const CommandControl::Abandonable abandonable(&progress.control());
    book->close();
}

void writeXlsx(const ResultSet &result, const QList<ExportColumn> &columns, const QString &file,
               const QString &target, Progress &progress, const ExportOptions &options)
{
    const std::vector<int> bound = resultColumns(result, columns);
    const QString tempFolder =
        options.tempFolder.isEmpty() ? QFileInfo(target).absolutePath() : options.tempFolder;
    const int sheetRows = std::clamp(options.sheetRows, 1, MaxSheetRows);
    const int rows = result.rowCount();
    auto book = std::make_unique<Workbook>(file, target, tempFolder);
    int first = 0;
    do {
        const int count = std::min(sheetRows, rows - first);
        writeSheet(*book, result, columns, bound, first, count, progress);
        first += count;
    } while (first < rows);
    progress.at(rows);
    closeWorkbook(std::move(book), progress);
    progress.done(rows);
}

} // namespace

bool startsLikeFormula(QStringView text)
{
    if (text.isEmpty())
        return false;
    const char16_t first = text.front().unicode();
    const bool formulaStart = first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t'
        || first == u'\r';
    return formulaStart && !readsAsNumber(text);
}

QString pendingFileName(const QString &targetName, quint16 serial)
{
    return pendingPrefix(targetName) + QStringLiteral("%1").arg(serial, 4, 16, QLatin1Char('0'));
}

void exportResult(const ResultSet &result, const QList<ExportColumn> &columns, const QString &path,
                  ExportFormat format, CommandControl &control, const ExportOptions &options)
{
    PendingFile file(path);
    Progress progress(control);
    if (format == ExportFormat::Csv)
        writeCsv(result, columns, file.path(), path, progress);
    else
        writeXlsx(result, columns, file.path(), path, progress, options);
    if (progress.cancelled())
        throw OperationCancelled();
    file.commit();
}

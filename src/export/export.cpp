#include "export/export.h"

#include "db/resultset.h"
#include "export/workbook.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace exportfile;

namespace {

const QString CannotCreateText = QStringLiteral("无法创建文件 %1：%2");
const QString CannotWriteText = QStringLiteral("无法写入文件 %1：%2");

// Bytes collected before a CSV write.
constexpr qsizetype CsvChunk = 1 << 20;

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


// The result column shown by each export column, -1 when unbound.
std::vector<int> resultColumns(const ResultSet &result, const QList<ExportColumn> &columns)
{
    std::vector<int> bound;
    bound.reserve(std::size_t(columns.size()));
    for (const ExportColumn &column : columns)
        bound.push_back(column.field.isEmpty() ? -1 : result.columnIndex(column.field));
    return bound;
}

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

void writeXlsx(const ResultSet &result, const QList<ExportColumn> &columns, const QString &file,
               const QString &target, Progress &progress, const ExportOptions &options)
{
    const std::vector<int> bound = resultColumns(result, columns);
    const QString tempFolder = tempFolderFor(target, options);
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

#include "export/dayendbook.h"

#include "export/workbook.h"

#include <QStringList>

#include <algorithm>
#include <memory>
#include <string>

using namespace exportfile;

namespace {

const QString SummarySheet = QStringLiteral("汇总");
const QString OrdersSheet = QStringLiteral("委托");
const QString TradesSheet = QStringLiteral("成交汇总");
const QString FindingsSheet = QStringLiteral("异常");
const QString ContinuedSheet = QStringLiteral("%1(%2)");

const QString TitleText = QStringLiteral("日终核对");
const QString DatabaseText = QStringLiteral("数据库");
const QString MomentText = QStringLiteral("核对时间");
const QString FiguresTitle = QStringLiteral("监控数据");
const QStringList FigureCaptions{QStringLiteral("项目"), QStringLiteral("数值")};
const QString StatesTitle = QStringLiteral("最终状态统计");
const QStringList StateCaptions{QStringLiteral("最终状态"), QStringLiteral("笔数")};
const QString RejectionsTitle = QStringLiteral("废单按返回码");
const QStringList RejectionCaptions{QStringLiteral("返回码"), QStringLiteral("说明"), QStringLiteral("笔数")};
const QString NoCodeText = QStringLiteral("无");
const QString OpenTitle = QStringLiteral("未报及已报未确认");
const QStringList OpenCaptions{QStringLiteral("记录编号"), QStringLiteral("申请编号"), QStringLiteral("股东帐号"),
                               QStringLiteral("证券代码"), QStringLiteral("买卖"),     QStringLiteral("委托数量"),
                               QStringLiteral("时间"),     QStringLiteral("最终状态"), QStringLiteral("说明")};
const QString MoreOpenText = QStringLiteral("另有 %1 笔未列出，见「委托」表的最终状态");
const QString AlarmsTitle = QStringLiteral("报警记录");
const QStringList AlarmCaptions{QStringLiteral("报警时间"), QStringLiteral("类别"),   QStringLiteral("说明"),
                                QStringLiteral("确认时间"), QStringLiteral("确认人"), QStringLiteral("解除时间")};
const QString NoneText = QStringLiteral("无");
const QString MomentFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

const QStringList OrderCaptions{
    QStringLiteral("记录编号"), QStringLiteral("申请编号"), QStringLiteral("股东帐号"), QStringLiteral("证券代码"),
    QStringLiteral("买卖"),     QStringLiteral("委托数量"), QStringLiteral("委托价格"), QStringLiteral("时间"),
    QStringLiteral("最终状态"), QStringLiteral("成交数量"), QStringLiteral("成交金额"), QStringLiteral("成交均价"),
    QStringLiteral("撤单数量"), QStringLiteral("返回码"),   QStringLiteral("说明")};
const QStringList TradeCaptions{QStringLiteral("股东帐号"), QStringLiteral("证券代码"), QStringLiteral("买卖"),
                                QStringLiteral("笔数"),     QStringLiteral("成交数量"), QStringLiteral("成交金额")};
const QString TotalText = QStringLiteral("合计");
const QStringList FindingCaptions{QStringLiteral("类别"),     QStringLiteral("记录编号"), QStringLiteral("申请编号"),
                                  QStringLiteral("股东帐号"), QStringLiteral("证券代码"), QStringLiteral("时间"),
                                  QStringLiteral("返回码"),   QStringLiteral("说明")};

const char *const AmountFormat = "0.00";
const char *const PriceFormat = "0.000";

// Characters of a whole number as a General cell shows it.
int digitsOf(qint64 value)
{
    int width = value < 0 ? 2 : 1;
    for (quint64 rest = value < 0 ? 0 - quint64(value) : quint64(value); rest >= 10; rest /= 10)
        ++width;
    return width;
}

// "HH:MM:SS" of seconds of the day, into a buffer of nine.
void clockInto(char *out, qint32 seconds)
{
    const int parts[] = {seconds / 3600, seconds / 60 % 60, seconds % 60};
    for (int i = 0; i < 3; ++i) {
        out[i * 3] = char('0' + parts[i] / 10 % 10);
        out[i * 3 + 1] = char('0' + parts[i] % 10);
        out[i * 3 + 2] = i < 2 ? ':' : '\0';
    }
}

// The cell formats of the book.
struct Formats
{
    lxw_format *bold;
    lxw_format *amount;
    lxw_format *boldAmount;
    lxw_format *price;
};

// One worksheet written row after row: captions bold, widths fitted to
// what was written, amounts from cents, prices from thousandths.
class Sheet
{
public:
    Sheet(Workbook &book, const Formats &formats, Progress &progress, qint64 &written, const QString &name)
        : m_book(book)
        , m_formats(formats)
        , m_progress(progress)
        , m_written(written)
    {
        const QByteArray utf8 = name.toUtf8();
        m_sheet = book.addSheet(utf8.constData());
    }

    // Moves on to the next row (the first call: the first row).
    void nextRow()
    {
        m_progress.at(m_written++);
        m_row = m_started ? m_row + 1 : 0;
        m_started = true;
    }
    void skipRow() { m_row += 1; }

    void captions(const QStringList &captions, int extra = 0)
    {
        nextRow();
        for (int c = 0; c < captions.size(); ++c)
            text(c, captions[c], m_formats.bold, extra);
    }

    void text(int column, QStringView text, lxw_format *format = nullptr, int extra = 0)
    {
        if (text.isEmpty())
            return;
        text = text.left(MaxCellCharacters);
        m_utf8.clear();
        appendUtf8(m_utf8, text);
        m_book.text(m_sheet, m_row, lxw_col_t(column), m_utf8.c_str(), format);
        // A wide character counts at most twice.
        if (text.size() * 2 + extra > width(column))
            fit(column, textWidth(text) + extra);
    }

    void code(int column, QLatin1String text)
    {
        if (text.isEmpty())
            return;
        m_utf8.clear();
        for (char c : text) {
            const auto u = uchar(c);
            if (u < 0x80) {
                m_utf8.push_back(c);
            } else {
                m_utf8.push_back(char(0xC0 | (u >> 6)));
                m_utf8.push_back(char(0x80 | (u & 0x3F)));
            }
        }
        m_book.text(m_sheet, m_row, lxw_col_t(column), m_utf8.c_str());
        fit(column, int(text.size()));
    }

    void clock(int column, qint32 seconds)
    {
        if (seconds < 0)
            return;
        char text[9];
        clockInto(text, seconds);
        m_book.text(m_sheet, m_row, lxw_col_t(column), text);
        fit(column, 8);
    }

    void integer(int column, qint64 value, lxw_format *format = nullptr)
    {
        m_book.number(m_sheet, m_row, lxw_col_t(column), double(value), format);
        fit(column, digitsOf(value));
    }

    // An amount in cents: the nearest double to the decimal, which the
    // writer's 17 significant digits give back exactly.
    void cents(int column, qint64 value, bool bold = false)
    {
        m_book.number(m_sheet, m_row, lxw_col_t(column), double(value) / 100.0,
                      bold ? m_formats.boldAmount : m_formats.amount);
        fit(column, digitsOf(value / 100) + 3 + (value < 0 && value > -100 ? 1 : 0));
    }

    void mils(int column, qint64 value)
    {
        m_book.number(m_sheet, m_row, lxw_col_t(column), double(value) / 1000.0, m_formats.price);
        fit(column, digitsOf(value / 1000) + 4);
    }

    // Freezes the caption row and filters rows 0 to `lastRow`.
    void filter(int columns, lxw_row_t lastRow)
    {
        worksheet_freeze_panes(m_sheet, 1, 0);
        m_book.check(worksheet_autofilter(m_sheet, 0, 0, lastRow, lxw_col_t(std::max(columns, 1) - 1)));
    }

    void finish()
    {
        for (std::size_t c = 0; c < m_widths.size(); ++c)
            m_book.check(worksheet_set_column(m_sheet, lxw_col_t(c), lxw_col_t(c),
                                              std::min<double>(m_widths[c] + 1, MaxSheetColumnWidth), nullptr));
        m_book.checkSheet(m_sheet);
    }

    const Formats &formats() const { return m_formats; }

private:
    int width(int column) const
    {
        return std::size_t(column) < m_widths.size() ? m_widths[std::size_t(column)] : 0;
    }
    void fit(int column, int width)
    {
        if (m_widths.size() <= std::size_t(column))
            m_widths.resize(std::size_t(column) + 1, 0);
        m_widths[std::size_t(column)] = std::max(m_widths[std::size_t(column)], width);
    }

    Workbook &m_book;
    const Formats &m_formats;
    Progress &m_progress;
    qint64 &m_written;
    lxw_worksheet *m_sheet = nullptr;
    lxw_row_t m_row = 0;
    bool m_started = false;
    std::vector<int> m_widths;
    std::string m_utf8;
};

// A list under a caption row, filtered, going on in "<name>(2)", ... after
// `sheetRows` rows.
class ListSheets
{
public:
    ListSheets(Workbook &book, const Formats &formats, Progress &progress, qint64 &written, QString name,
               QStringList captions, int sheetRows)
        : m_book(book)
        , m_formats(formats)
        , m_progress(progress)
        , m_written(written)
        , m_name(std::move(name))
        , m_captions(std::move(captions))
        , m_sheetRows(sheetRows)
    {
        open();
    }

    // The sheet to write the next row in, moved to that row.
    Sheet &next()
    {
        if (m_rows == m_sheetRows) {
            close();
            open();
        }
        ++m_rows;
        m_sheet->nextRow();
        return *m_sheet;
    }

    // Closes the last sheet; `trailer` writes rows below the filtered ones
    // (a total).
    void finish(const std::function<void(Sheet &)> &trailer = {})
    {
        // In constant memory the filter must be set while its last row is
        // the current one.
        m_sheet->filter(int(m_captions.size()), lxw_row_t(m_rows));
        if (trailer)
            trailer(*m_sheet);
        m_sheet->finish();
        m_sheet.reset();
    }

private:
    void open()
    {
        ++m_sheets;
        const QString name = m_sheets == 1 ? m_name : ContinuedSheet.arg(m_name).arg(m_sheets);
        m_sheet = std::make_unique<Sheet>(m_book, m_formats, m_progress, m_written, name);
        m_sheet->captions(m_captions, int(FilterButtonWidth));
        m_rows = 0;
    }
    void close()
    {
        m_sheet->filter(int(m_captions.size()), lxw_row_t(m_rows));
        m_sheet->finish();
    }

    Workbook &m_book;
    const Formats &m_formats;
    Progress &m_progress;
    qint64 &m_written;
    QString m_name;
    QStringList m_captions;
    int m_sheetRows;
    int m_sheets = 0;
    int m_rows = 0;
    std::unique_ptr<Sheet> m_sheet;
};

QString dateTimeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(MomentFormat) : QString();
}

QString codeText(qint32 code)
{
    return code != 0 ? QString::number(code) : QString();
}

// The columns of an open order in 汇总, from column 0.
void writeOpenLine(Sheet &sheet, const DayEndOrderLine &line)
{
    sheet.integer(0, line.recNum);
    sheet.code(1, line.reff);
    sheet.code(2, line.account);
    sheet.code(3, line.stock);
    sheet.code(4, line.bs);
    sheet.integer(5, line.quantity);
    sheet.clock(6, line.time);
    sheet.text(7, line.state);
    sheet.text(8, line.note);
}

void sectionTitle(Sheet &sheet, const QString &title)
{
    sheet.skipRow();
    sheet.nextRow();
    sheet.text(0, title, sheet.formats().bold);
}

void writeSummary(Sheet &sheet, DayEndSource &source, const std::vector<DayEndAlarm> &alarms)
{
    const DayEndSummary summary = source.summary();
    sheet.nextRow();
    sheet.text(0, TitleText, sheet.formats().bold);
    sheet.nextRow();
    sheet.text(0, DatabaseText);
    sheet.text(1, summary.database);
    sheet.nextRow();
    sheet.text(0, MomentText);
    sheet.text(1, dateTimeText(summary.moment));

    sectionTitle(sheet, FiguresTitle);
    sheet.captions(FigureCaptions);
    for (const DayEndFigure &figure : summary.figures) {
        sheet.nextRow();
        sheet.text(0, figure.name);
        if (figure.kind == DayEndFigure::Count)
            sheet.integer(1, figure.value);
        else if (figure.kind == DayEndFigure::Cents)
            sheet.cents(1, figure.value);
        else
            sheet.text(1, figure.text);
    }

    sectionTitle(sheet, StatesTitle);
    sheet.captions(StateCaptions);
    for (const auto &[state, count] : summary.states) {
        sheet.nextRow();
        sheet.text(0, state);
        sheet.integer(1, count);
    }

    sectionTitle(sheet, RejectionsTitle);
    sheet.captions(RejectionCaptions);
    for (const DayEndRejection &rejection : summary.rejections) {
        sheet.nextRow();
        sheet.text(0, rejection.code != 0 ? QString::number(rejection.code) : NoCodeText);
        sheet.text(1, rejection.note);
        sheet.integer(2, rejection.count);
    }
    if (summary.rejections.empty()) {
        sheet.nextRow();
        sheet.text(0, NoneText);
    }

    sectionTitle(sheet, OpenTitle);
    sheet.captions(OpenCaptions);
    const qint64 open = source.openCount();
    qint64 listed = 0;
    source.openLines([&](const DayEndOrderLine &line) {
        if (listed++ >= MaxOpenLines)
            return;
        sheet.nextRow();
        writeOpenLine(sheet, line);
    });
    if (open == 0) {
        sheet.nextRow();
        sheet.text(0, NoneText);
    } else if (open > MaxOpenLines) {
        sheet.nextRow();
        sheet.text(0, MoreOpenText.arg(open - MaxOpenLines));
    }

    sectionTitle(sheet, AlarmsTitle);
    sheet.captions(AlarmCaptions);
    for (const DayEndAlarm &alarm : alarms) {
        sheet.nextRow();
        sheet.text(0, dateTimeText(alarm.raised));
        sheet.text(1, alarm.category);
        sheet.text(2, alarm.note);
        sheet.text(3, dateTimeText(alarm.acknowledged));
        sheet.text(4, alarm.acknowledgedBy);
        sheet.text(5, dateTimeText(alarm.cleared));
    }
    if (alarms.empty()) {
        sheet.nextRow();
        sheet.text(0, NoneText);
    }
    sheet.finish();
}

void writeOrders(ListSheets &sheets, DayEndSource &source)
{
    QString code;
    source.orderLines([&](const DayEndOrderLine &line) {
        Sheet &sheet = sheets.next();
        sheet.integer(0, line.recNum);
        sheet.code(1, line.reff);
        sheet.code(2, line.account);
        sheet.code(3, line.stock);
        sheet.code(4, line.bs);
        sheet.integer(5, line.quantity);
        if (line.priceMils >= 0)
            sheet.mils(6, line.priceMils);
        sheet.clock(7, line.time);
        sheet.text(8, line.state);
        if (!line.cancel) {
            sheet.integer(9, line.traded);
            sheet.cents(10, line.cents);
            if (line.averageMils >= 0)
                sheet.mils(11, line.averageMils);
        }
        if (line.cancelled > 0)
            sheet.integer(12, line.cancelled);
        if (line.code != 0)
            sheet.text(13, codeText(line.code));
        sheet.text(14, line.note);
    });
    sheets.finish();
}

void writeTrades(ListSheets &sheets, DayEndSource &source)
{
    qint64 fills = 0, quantity = 0, cents = 0;
    source.tradeLines([&](const DayEndTradeLine &line) {
        Sheet &sheet = sheets.next();
        sheet.code(0, line.account);
        sheet.code(1, line.stock);
        sheet.code(2, line.bs);
        sheet.integer(3, line.fills);
        sheet.integer(4, line.quantity);
        sheet.cents(5, line.cents);
        fills += line.fills;
        quantity += line.quantity;
        cents += line.cents;
    });
    // Below the filtered rows, so that sorting them leaves it last.
    sheets.finish([&](Sheet &sheet) {
        sheet.nextRow();
        sheet.text(0, TotalText, sheet.formats().bold);
        sheet.integer(3, fills, sheet.formats().bold);
        sheet.integer(4, quantity, sheet.formats().bold);
        sheet.cents(5, cents, true);
    });
}

void writeFindings(ListSheets &sheets, DayEndSource &source)
{
    source.findingLines([&](const DayEndFindingLine &line) {
        Sheet &sheet = sheets.next();
        sheet.text(0, line.category);
        if (line.recNum > 0)
            sheet.integer(1, line.recNum);
        sheet.text(2, line.reff);
        sheet.text(3, line.account);
        sheet.text(4, line.stock);
        sheet.text(5, line.time);
        if (line.code != 0)
            sheet.text(6, codeText(line.code));
        sheet.text(7, line.note);
    });
    sheets.finish();
}

} // namespace

QString dayEndFileName(const QDate &day, const QString &database)
{
    QString name = QStringLiteral("日终核对_") + day.toString(QStringLiteral("yyyyMMdd"));
    QString base = database.trimmed();
    for (QChar &c : base) {
        if (c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c))
            c = u'_';
    }
    if (!base.isEmpty())
        name += u'_' + base;
    return name + QStringLiteral(".xlsx");
}

void writeDayEndBook(DayEndSource &source, const std::vector<DayEndAlarm> &alarms, const QString &path,
                     CommandControl &control, const ExportOptions &options)
{
    PendingFile file(path);
    Progress progress(control);
    const int sheetRows = std::clamp(options.sheetRows, 1, MaxSheetRows);
    auto book = std::make_unique<Workbook>(file.path(), path, tempFolderFor(path, options));
    const Formats formats{book->bold(), book->numberFormat(AmountFormat), book->numberFormat(AmountFormat, true),
                          book->numberFormat(PriceFormat)};
    qint64 written = 0;
    {
        Sheet summary(*book, formats, progress, written, SummarySheet);
        writeSummary(summary, source, alarms);
    }
    {
        ListSheets orders(*book, formats, progress, written, OrdersSheet, OrderCaptions, sheetRows);
        writeOrders(orders, source);
    }
    {
        ListSheets trades(*book, formats, progress, written, TradesSheet, TradeCaptions, sheetRows);
        writeTrades(trades, source);
    }
    {
        ListSheets findings(*book, formats, progress, written, FindingsSheet, FindingCaptions,
                            sheetRows);
        writeFindings(findings, source);
    }
    progress.at(written);
    closeWorkbook(std::move(book), progress);
    progress.done(written);
    if (progress.cancelled())
        throw OperationCancelled();
    file.commit();
}

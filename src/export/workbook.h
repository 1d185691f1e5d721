#pragma once

// What every file the export writes shares, inside src/export only: the
// pending file beside the target that replaces it once whole, progress and
// cancel, and the workbook writer in constant memory with the checks that
// make up for what it does not report (full disks, cut temporary files).

#include "db/command.h"
#include "export/export.h"
#include "export/zipcheck.h"

#include <QString>
#include <QStringView>

#include <xlsxwriter.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace exportfile {

// Excel keeps at most this many characters in a cell.
constexpr qsizetype MaxCellCharacters = 32767;
// Column widths of a worksheet, in characters.
constexpr double MaxSheetColumnWidth = 60;
constexpr double FilterButtonWidth = 2;

QString native(const QString &path);
QString systemReason(int error);
// Why a write failed, in the operator's words: a full disk by name.
QString writeReason(int error);

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
int textWidth(QStringView text);
// Characters a number takes in a General formatted cell, about.
int numberWidth(double value);

// Reports written rows once per block and stops at the cancel flag.
class Progress
{
public:
    explicit Progress(CommandControl &control)
        : m_control(control)
    {
    }

    // Before writing the row at this position (counted over the whole file).
    void at(qint64 row);
    bool cancelled() const { return m_control.cancelRequested(); }
    CommandControl &control() { return m_control; }
    void done(qint64 rows);

private:
    CommandControl &m_control;
    qint64 m_reported = 0;
};

// A file written beside its target under a name of its own, renamed over
// the target by commit(); removed again when not committed. Pending files
// an earlier, killed export of the same target left are removed first.
class PendingFile
{
public:
    explicit PendingFile(const QString &target);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    QString path() const { return m_path; }
    void commit();

private:
    QString m_target;
    QString m_path;
    std::filesystem::path m_file; // m_path
};

// The workbook writer in constant memory: every sheet is written row by
// row, one sheet after the other, and what went into each is counted for
// the read-back in close().
class Workbook
{
public:
    Workbook(const QString &file, const QString &target, const QString &tempFolder);
    ~Workbook();
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    lxw_format *bold() const { return m_bold; }
    // A cell format showing numbers with this Excel number format ("0.00").
    lxw_format *numberFormat(const char *format, bool bold = false);

    void number(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, double value, lxw_format *format = nullptr);
    void text(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const char *utf8, lxw_format *format = nullptr);

    // A call of the writer that failed ends the export with its reason.
    void check(lxw_error error) const;

    // A new worksheet (named, or Sheet1, Sheet2, ...) whose temporary file
    // is open; the writer's other failures show in close().
    lxw_worksheet *addSheet(const char *utf8Name = nullptr);

    // The writer does not look at its temporary file's write errors: a full
    // disk would cut the sheet silently. Checked once the sheet is written.
    void checkSheet(lxw_worksheet *sheet);

    // Writes the file, then reads it back: the writer overlooks failed
    // writes of its temporary files, which leave a sheet with a piece
    // missing, or cut short, inside an otherwise sound file.
    void close();

private:
    void counted(lxw_row_t row);
    [[noreturn]] void tempFailure(int error);
    [[noreturn]] void fail(const QString &reason) const;

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

// Closing compresses everything written, for many seconds with a large
// workbook, and cannot be interrupted: a cancel leaves it to finish (see
// "Give-up" in db/worker.h), after which the export removes what it wrote.
// The rows are all in the writer's temporary files by then; the close reads
// nothing of what they came from.
void closeWorkbook(std::unique_ptr<Workbook> book, Progress &progress);

// The folder of the writer's temporary files: the option's, else the
// target's.
QString tempFolderFor(const QString &target, const ExportOptions &options);

} // namespace exportfile

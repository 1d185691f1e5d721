#include "support/exportreader.h"

#include "support/testcore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest/QtTest>

namespace testsupport {

namespace {

const char *const ReaderScript = R"py(
import csv, json, sys
kind, path = sys.argv[1], sys.argv[2]
if kind == "xlsx":
    import openpyxl
    from openpyxl.utils import get_column_letter
    book = openpyxl.load_workbook(path)
    out = []
    for sheet in book.worksheets:
        rows = [[dict({"t": c.data_type, "v": c.value},
                      **({"f": c.number_format} if c.number_format != "General" else {}),
                      **({"b": True} if c.font.b else {}))
                 for c in row] for row in sheet.iter_rows()]
        out.append({
            "title": sheet.title,
            "freeze": sheet.freeze_panes,
            "filter": sheet.auto_filter.ref,
            "bold": bool(rows) and all(c.font.b for c in sheet[1]),
            "widths": [sheet.column_dimensions[get_column_letter(i + 1)].width for i in range(sheet.max_column)],
            "rows": rows,
        })
elif kind == "zip":
    import zipfile
    out = [[i.filename, i.file_size] for i in zipfile.ZipFile(path).infolist()]
else:
    with open(path, newline="", encoding="utf-8-sig") as f:
        out = [list(r) for r in csv.reader(f)]
sys.stdout.write(json.dumps(out, ensure_ascii=False, default=str))
)py";

QJsonArray runReader(const QString &kind, const QString &path)
{
    const QString script = QDir(workDir()).filePath(QStringLiteral("exportreader.py"));
    if (!QFile::exists(script)) {
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(script));
        file.write(ReaderScript);
    }
    QProcess python;
    python.start(QStringLiteral(SQLTOOL_PYTHON), {script, kind, path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning("reader failed on %s: %s", qPrintable(path), python.readAllStandardError().constData());
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(python.readAllStandardOutput(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("reader output: %s", qPrintable(error.errorString()));
    return document.array();
}

} // namespace

QJsonArray readWorkbook(const QString &path)
{
    return runReader(QStringLiteral("xlsx"), path);
}

QStringList sheetColumn(const QJsonArray &rows, int column)
{
    QStringList values;
    for (int row = 1; row < rows.size(); ++row)
        values << rows.at(row).toArray().at(column).toObject().value("v").toVariant().toString();
    return values;
}

QList<QStringList> readCsv(const QString &path)
{
    QList<QStringList> records;
    for (const QJsonValue &record : runReader(QStringLiteral("csv"), path)) {
        QStringList fields;
        for (const QJsonValue &field : record.toArray())
            fields << field.toString();
        records << fields;
    }
    return records;
}

qint64 zipMemberSize(const QString &path, const QString &member)
{
    for (const QJsonValue &entry : runReader(QStringLiteral("zip"), path)) {
        if (entry.toArray().at(0).toString() == member)
            return qint64(entry.toArray().at(1).toDouble());
    }
    return -1;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace testsupport

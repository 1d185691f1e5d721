#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <vector>

class DataSource;
class QTableView;

// Section of the settings file that keeps the widths the operator dragged;
// a key per column, "<grid>.<field>", its value the width in pixels.
inline const QString ColumnWidthsSection = QStringLiteral("ColumnWidths");
QString columnWidthKey(const QString &grid, const QString &field);
// A stored width as a width: empty, not a number or out of reason gives 0.
int storedColumnWidth(const QString &value);

// The widths a grid's columns keep: fitted to their fields, or dragged by
// the operator. A dragged width wins over the fitted one for the rest of the
// run and, through the settings file, in later runs. The title bar forgets
// its sizes whenever the model is reset (a new result, a re-sort), so they
// are put back after every reset.
class ColumnWidths : public QObject
{
public:
    // `fields` keys the columns by position; the grid's objectName names it.
    // Reads the stored widths and applies them.
    ColumnWidths(QTableView *grid, DataSource *source, const QStringList &fields);
    // Writes what was dragged since the last write.
    ~ColumnWidths() override;

    // Gives every column never dragged the width of its field's display
    // size, at least its caption's and at most MaxFittedColumnWidth.
    void fit();
    // Writes the widths dragged since the last write. A failed write is
    // dropped: the widths are a convenience, not data.
    void save();

private:
    void dragged(int column, int width);
    void grow(int column);
    void apply();

    QTableView *m_grid;
    DataSource *m_source;
    QStringList m_keys;
    std::vector<int> m_widths; // 0: the default width
    std::vector<bool> m_dragged;
    std::vector<bool> m_unsaved;
    QTimer m_saveSoon; // a drag ends in many small resizes
    bool m_applying = false;
    bool m_resetting = false;
};

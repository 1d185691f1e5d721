#pragma once

#include <QString>
#include <QStringList>

class DataSource;

// Arrows put in front of the caption of the sorted column.
extern const QString DescendingArrow; // "▼"
extern const QString AscendingArrow;  // "▲"

// The sort state of one result grid: the direction of its next title click
// (per grid, not per column) and the column it last sorted, by position,
// with its caption as it was without the arrow.
class SortState
{
public:
    // Start values: the next click sorts descending; no column sorted yet.
    void reset();

    bool ascendingNext() const { return m_ascendingNext; }
    int lastColumn() const { return m_lastColumn; } // -1: none
    QString lastCaption() const { return m_lastCaption; }

    // A title click on the column at this position of the grid fed by the
    // source: restores the caption of the last sorted column, marks the
    // clicked one with the arrow, re-sorts the source's query in memory (as
    // a command, "正在排序…", off the UI thread) and flips the direction. A
    // failing or cancelled re-sort propagates with the arrow already set and
    // the direction unchanged.
    void titleClick(DataSource &source, int column);

    // The captions of the source's columns as designed, without the arrow.
    QStringList plainCaptions(const DataSource &source) const;

private:
    bool m_ascendingNext = false;
    int m_lastColumn = -1;
    QString m_lastCaption;
};

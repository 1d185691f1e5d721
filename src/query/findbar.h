#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class DataSource;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class ResultSet;

// Finds a text inside a cell's text, ignoring case.
class TextMatcher
{
public:
    explicit TextMatcher(const QString &text = {});
    bool isEmpty() const { return m_folded.empty(); }
    bool matches(QStringView cell) const;
    bool matches(QLatin1StringView cell) const;

private:
    template <typename Char>
    bool find(const Char *text, std::size_t size) const;

    std::u16string m_folded;
};

// A cell of a grid: its row in the current order and its column; -1 for none.
struct GridCell
{
    int row = -1;
    int column = -1;
    bool isValid() const { return row >= 0 && column >= 0; }
    bool operator==(const GridCell &other) const { return row == other.row && column == other.column; }
};

// The cells of a grid's held result whose shown text contains a text. The
// search runs on the UI thread in slices of a few milliseconds, so the
// window stays responsive on any number of rows; it starts again by itself
// whenever the result changes (a new list, a re-sort, a close). The order
// is the grid's: rows in their current order, each row left to right.
class GridSearch : public QObject
{
    Q_OBJECT
public:
    explicit GridSearch(const DataSource *source, QObject *parent = nullptr);

    // Starts a search for `text`; an empty text finds nothing.
    void start(const QString &text);
    // Ends the search and forgets its matches.
    void stop();
    QString text() const { return m_text; }
    bool running() const { return m_timer.isActive(); }

    qint64 count() const { return m_count; }
    // The first match after the cell (or at it, when `inclusive`), wrapping
    // round at the end; from no cell, the first match.
    GridCell next(GridCell from, bool inclusive = false) const;
    // The last match before the cell, wrapping round at the start; from no
    // cell, the last match.
    GridCell previous(GridCell from) const;
    // The match's number, from 1; 0 when the cell is no match.
    qint64 numberOf(GridCell cell) const;

signals:
    void finished();

private:
    void restart();
    void slice();
    void scanPositions(const ResultSet &result, int begin, int end);

    const DataSource *m_source;
    QString m_text;
    TextMatcher m_matcher;
    std::vector<int> m_fields; // result column per grid column, -1 unbound
    // The search reads the result in the order it is stored and notes a
    // match at the row's place in the current order.
    std::vector<std::uint32_t> m_positions;
    int m_nextPosition = 0;
    std::vector<std::uint32_t> m_matches; // per row: a bit per matching column
    qint64 m_count = 0;
    QTimer m_timer;
};

// The find bar under a result grid: a box, "上一个"/"下一个", the match count
// and "关闭". Enter finds the next match, Shift+Enter the previous one,
// Escape closes the bar. A found match becomes the grid's one current cell
// and is scrolled into view.
class FindBar : public QWidget
{
    Q_OBJECT
public:
    FindBar(QTableView *grid, DataSource *source, QWidget *parent = nullptr);

    // Shows the bar with the focus in its box, searching its text again.
    void open();
    // Hides it and forgets the matches; the focus goes back to the grid.
    void closeBar();
    void findNext();
    void findPrevious();

    QLineEdit *box() const { return m_box; }
    QString countText() const;
    GridSearch *search() const { return m_search; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum class Step { None, FromCurrent, Next, Previous };
    void textEdited();
    void step(Step step);
    void searchFinished();
    void showCount();
    GridCell currentCell() const;

    QTableView *m_grid;
    DataSource *m_source;
    GridSearch *m_search;
    QLineEdit *m_box;
    QPushButton *m_previous;
    QPushButton *m_next;
    QPushButton *m_close;
    QLabel *m_count;
    Step m_pending = Step::None;
};

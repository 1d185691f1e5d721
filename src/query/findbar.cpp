#include "query/findbar.h"

#include "db/datasource.h"
#include "db/query.h"
#include "db/resultset.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

namespace {

const QString FindCaption = QStringLiteral("查找:");
const QString PreviousText = QStringLiteral("上一个");
const QString NextText = QStringLiteral("下一个");
const QString CloseText = QStringLiteral("关闭");
const QString SearchingText = QStringLiteral("正在查找…");
const QString NoMatchText = QStringLiteral("无匹配");
const QString CountText = QStringLiteral("共 %1 处");
const QString NumberText = QStringLiteral("第 %1 处，共 %2 处");

// Rows looked at between two looks at the clock, and the longest a slice
// keeps the UI thread.
constexpr int BlockRows = 2048;
constexpr qint64 SliceMs = 12;
// Grid columns the search covers (a bit each); the widest grid has 18.
constexpr int MaxColumns = 32;

char16_t fold(char16_t c)
{
    if (c < 128)
        return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
    return QChar(c).toCaseFolded().unicode();
}

} // namespace

TextMatcher::TextMatcher(const QString &text)
{
    m_folded.reserve(std::size_t(text.size()));
    for (const QChar c : text)
        m_folded.push_back(fold(c.unicode()));
}

bool TextMatcher::matches(QStringView cell) const
{
    return find(reinterpret_cast<const char16_t *>(cell.utf16()), std::size_t(cell.size()));
}

bool TextMatcher::matches(QLatin1StringView cell) const
{
    return find(reinterpret_cast<const unsigned char *>(cell.data()), std::size_t(cell.size()));
}

template <typename Char>
bool TextMatcher::find(const Char *text, std::size_t size) const
{
    const std::size_t length = m_folded.size();
    if (length == 0 || length > size)
        return false;
    const char16_t first = m_folded[0];
    const char16_t firstUpper = first >= u'a' && first <= u'z' ? char16_t(first - (u'a' - u'A')) : first;
    for (std::size_t i = 0; i + length <= size; ++i) {
        // Most cells are digits and ASCII letters: those are told apart
        // without folding.
        const char16_t c = text[i];
        if (c != first && c != firstUpper && (c < 128 || fold(c) != first))
            continue;
        std::size_t j = 1;
        while (j < length && fold(char16_t(text[i + j])) == m_folded[j])
            ++j;
        if (j == length)
            return true;
    }
    return false;
}

GridSearch::GridSearch(const DataSource *source, QObject *parent)
    : QObject(parent)
    , m_source(source)
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &GridSearch::slice);
    // The matches name rows of the old order: a changed result is searched
    // again from its start.
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        if (!m_text.isEmpty())
            restart();
    });
}

void GridSearch::start(const QString &text)
{
    m_text = text;
    m_matcher = TextMatcher(text);
    restart();
}

void GridSearch::stop()
{
    m_timer.stop();
    m_text.clear();
    m_matcher = TextMatcher();
    m_positions = {};
    m_matches = {};
    m_count = 0;
}

void GridSearch::restart()
{
    m_positions = {};
    m_matches = {};
    m_count = 0;
    m_nextPosition = 0;
    m_fields.clear();
    const ResultSet *result = m_source->dataSet()->result();
    if (result && !m_matcher.isEmpty()) {
        const int columns = std::min(m_source->columnCount(), MaxColumns);
        for (int column = 0; column < columns; ++column) {
            const QString field = m_source->fieldName(column);
            m_fields.push_back(field.isEmpty() ? -1 : result->columnIndex(field));
        }
        m_positions = result->positions();
        m_matches.assign(m_positions.size(), 0);
    }
    m_timer.start();
}

void GridSearch::slice()
{
    const ResultSet *result = m_source->dataSet()->result();
    const int rows = int(m_positions.size());
    QElapsedTimer clock;
    clock.start();
    while (m_nextPosition < rows && clock.elapsed() < SliceMs) {
        const int end = std::min(rows, m_nextPosition + BlockRows);
        scanPositions(*result, m_nextPosition, end);
        m_nextPosition = end;
    }
    if (m_nextPosition < rows)
        return; // the next slice after the pending events
    m_timer.stop();
    m_positions = {};
    emit finished();
}

// Column by column over a block of stored rows.
void GridSearch::scanPositions(const ResultSet &result, int begin, int end)
{
    for (std::size_t column = 0; column < m_fields.size(); ++column) {
        const int field = m_fields[column];
        if (field < 0)
            continue;
        const std::uint32_t bit = std::uint32_t(1) << column;
        const bool text = result.kind(field) == FieldKind::Text;
        char number[ResultSet::NumberTextSize];
        for (int position = begin; position < end; ++position) {
            // The cell as the grid shows it: a number as the grid writes it.
            bool found = false;
            if (text) {
                found = m_matcher.matches(result.fetchedTextView(position, field));
            } else {
                const int length = result.fetchedNumberText(position, field, number);
                found = length > 0 && m_matcher.matches(QLatin1StringView(number, length));
            }
            if (found) {
                m_matches[m_positions[std::size_t(position)]] |= bit;
                ++m_count;
            }
        }
    }
}

namespace {

// The lowest set bit at or above `from`, -1 for none.
int lowestFrom(std::uint32_t bits, int from)
{
    if (from >= MaxColumns)
        return -1;
    bits &= ~std::uint32_t(0) << std::max(from, 0);
    return bits ? qCountTrailingZeroBits(bits) : -1;
}

// The highest set bit below `below`, -1 for none.
int highestBelow(std::uint32_t bits, int below)
{
    if (below <= 0)
        return -1;
    if (below < MaxColumns)
        bits &= (std::uint32_t(1) << below) - 1;
    return bits ? 31 - qCountLeadingZeroBits(bits) : -1;
}

} // namespace

GridCell GridSearch::next(GridCell from, bool inclusive) const
{
    if (m_count == 0 || running())
        return {};
    const int rows = int(m_matches.size());
    int row = 0;
    int column = 0;
    if (from.isValid() && from.row < rows) {
        row = from.row;
        column = from.column + (inclusive ? 0 : 1);
    }
    // At most once round, back to the starting row's earlier columns.
    for (int step = 0; step <= rows; ++step, ++row, column = 0) {
        if (row == rows)
            row = 0;
        const int found = lowestFrom(m_matches[std::size_t(row)], column);
        if (found >= 0)
            return {row, found};
    }
    return {};
}

GridCell GridSearch::previous(GridCell from) const
{
    if (m_count == 0 || running())
        return {};
    const int rows = int(m_matches.size());
    int row = rows - 1;
    int column = MaxColumns;
    if (from.isValid() && from.row < rows) {
        row = from.row;
        column = from.column;
    }
    for (int step = 0; step <= rows; ++step, --row, column = MaxColumns) {
        if (row < 0)
            row = rows - 1;
        const int found = highestBelow(m_matches[std::size_t(row)], column);
        if (found >= 0)
            return {row, found};
    }
    return {};
}

qint64 GridSearch::numberOf(GridCell cell) const
{
    if (running() || !cell.isValid() || cell.row >= int(m_matches.size()) || cell.column >= MaxColumns)
        return 0;
    const std::uint32_t columns = m_matches[std::size_t(cell.row)];
    if (!(columns & (std::uint32_t(1) << cell.column)))
        return 0;
    qint64 number = 1 + qPopulationCount(columns & ((std::uint32_t(1) << cell.column) - 1));
    for (int row = 0; row < cell.row; ++row)
        number += qPopulationCount(m_matches[std::size_t(row)]);
    return number;
}

FindBar::FindBar(QTableView *grid, DataSource *source, QWidget *parent)
    : QWidget(parent)
    , m_grid(grid)
    , m_source(source)
    , m_search(new GridSearch(source, this))
    , m_box(new QLineEdit(this))
    , m_previous(new QPushButton(PreviousText, this))
    , m_next(new QPushButton(NextText, this))
    , m_close(new QPushButton(CloseText, this))
    , m_count(new QLabel(this))
{
    setObjectName(QStringLiteral("FindBar"));
    m_box->setObjectName(QStringLiteral("FindBox"));
    m_previous->setObjectName(QStringLiteral("FindPrevious"));
    m_next->setObjectName(QStringLiteral("FindNext"));
    m_close->setObjectName(QStringLiteral("FindClose"));
    m_count->setObjectName(QStringLiteral("FindCount"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->addWidget(new QLabel(FindCaption, this));
    layout->addWidget(m_box, 1);
    for (QPushButton *button : {m_previous, m_next, m_close}) {
        // Enter belongs to the box, not to a default button of the window.
        button->setAutoDefault(false);
        layout->addWidget(button);
    }
    layout->addWidget(m_count, 1);
    hide();

    connect(m_box, &QLineEdit::textEdited, this, &FindBar::textEdited);
    connect(m_previous, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(m_next, &QPushButton::clicked, this, &FindBar::findNext);
    connect(m_close, &QPushButton::clicked, this, &FindBar::closeBar);
    connect(m_search, &GridSearch::finished, this, &FindBar::searchFinished);
    connect(grid->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (isVisible() && !m_search->running())
            showCount();
    });
}

void FindBar::open()
{
    show();
    m_box->setFocus();
    m_box->selectAll();
    if (!m_box->text().isEmpty() && m_search->text() != m_box->text())
        textEdited();
}

void FindBar::closeBar()
{
    m_search->stop();
    m_pending = Step::None;
    hide();
    m_grid->setFocus();
}

void FindBar::textEdited()
{
    m_search->start(m_box->text());
    m_pending = Step::FromCurrent;
    showCount();
}

void FindBar::findNext()
{
    step(Step::Next);
}

void FindBar::findPrevious()
{
    step(Step::Previous);
}

void FindBar::step(Step step)
{
    if (m_box->text() != m_search->text()) {
        m_search->start(m_box->text());
        step = step == Step::Next ? Step::FromCurrent : step;
    }
    if (m_search->running()) {
        m_pending = step; // taken when the search has finished
        return;
    }
    GridCell target;
    if (step == Step::Previous)
        target = m_search->previous(currentCell());
    else
        target = m_search->next(currentCell(), step == Step::FromCurrent);
    if (target.isValid()) {
        const QModelIndex index = m_source->index(target.row, target.column);
        m_grid->setCurrentIndex(index);
        m_grid->scrollTo(index);
    }
    showCount();
}

void FindBar::searchFinished()
{
    const Step pending = m_pending;
    m_pending = Step::None;
    if (pending != Step::None)
        step(pending);
    else
        showCount();
}

void FindBar::showCount()
{
    m_count->setText(countText());
}

QString FindBar::countText() const
{
    if (m_search->text().isEmpty())
        return {};
    if (m_search->running())
        return SearchingText;
    if (m_search->count() == 0)
        return NoMatchText;
    const qint64 number = m_search->numberOf(currentCell());
    return number > 0 ? NumberText.arg(number).arg(m_search->count()) : CountText.arg(m_search->count());
}

GridCell FindBar::currentCell() const
{
    const QModelIndex current = m_grid->currentIndex();
    return current.isValid() ? GridCell{current.row(), current.column()} : GridCell{};
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        closeBar();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & Qt::ShiftModifier)
            findPrevious();
        else
            findNext();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

#include "reference/rtnform.h"
#include "ui_rtnform.h"

#include "flow/returncodes.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QVector>

Trtnform *rtnform = nullptr;

// Cells of a string grid whose first row and first column are fixed. The
// view hides that row and column and shows them as its headers, so they
// stay in place while the rest scrolls.
class StringGridModel : public QAbstractTableModel
{
public:
    StringGridModel(int cols, int rows, QObject *parent)
        : QAbstractTableModel(parent)
        , m_cols(cols)
        , m_rows(rows)
        , m_cells(cols * rows)
    {
    }

    QString cell(int col, int row) const
    {
        if (col < 0 || col >= m_cols || row < 0 || row >= m_rows)
            return QString();
        return m_cells.at(row * m_cols + col);
    }

    void setCell(int col, int row, const QString &text)
    {
        m_cells[row * m_cols + col] = text;
        const QModelIndex changed = index(row, col);
        emit dataChanged(changed, changed, {Qt::DisplayRole});
        if (row == 0)
            emit headerDataChanged(Qt::Horizontal, col, col);
        if (col == 0)
            emit headerDataChanged(Qt::Vertical, row, row);
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_rows;
    }

    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_cols;
    }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override
    {
        if (!index.isValid())
            return QVariant();
        if (role == Qt::DisplayRole)
            return cell(index.column(), index.row());
        if (role == Qt::BackgroundRole && (index.row() == 0 || index.column() == 0))
            return QBrush(fixedColor);
        return QVariant();
    }

    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override
    {
        if (role == Qt::DisplayRole)
            return orientation == Qt::Horizontal ? cell(section, 0) : cell(0, section);
        if (role == Qt::BackgroundRole)
            return QBrush(fixedColor);
        return QVariant();
    }

    // Cells can be selected, never edited.
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

    static inline const QColor fixedColor{255, 251, 240};

private:
    int m_cols;
    int m_rows;
    QVector<QString> m_cells;
};

namespace {

constexpr int gridCols = 2;
constexpr int gridRows = 81;
constexpr int rowHeight = 18;
constexpr int codeWidth = 64;
constexpr int noteWidth = 618;

const QString codeTitle = QStringLiteral("返回代码");
const QString noteTitle = QStringLiteral("注释");

} // namespace

Trtnform::Trtnform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Trtnform>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // Filled before the view is attached: no view follows it cell by cell.
    m_cells = new StringGridModel(gridCols, gridRows, this);
    FormCreate();
    QTableView *grid = ui->grid;
    grid->setModel(m_cells);
    // Row 0 and column 0 are shown as the headers instead.
    grid->setRowHidden(0, true);
    grid->setColumnHidden(0, true);
    grid->setColumnWidth(1, noteWidth);

    for (QHeaderView *header : {grid->horizontalHeader(), grid->verticalHeader()}) {
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setSectionsClickable(false);
        header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    grid->horizontalHeader()->setFixedHeight(rowHeight);
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid->verticalHeader()->setFixedWidth(codeWidth);

    // The corner is cell (0, 0); the view paints it without text.
    if (auto *corner = grid->findChild<QAbstractButton *>())
        corner->installEventFilter(this);
}

Trtnform::~Trtnform() = default;

QString Trtnform::cell(int col, int row) const
{
    return m_cells->cell(col, row);
}

QAbstractTableModel *Trtnform::cells() const
{
    return m_cells;
}

void Trtnform::FormCreate()
{
    m_cells->setCell(0, 0, codeTitle);
    m_cells->setCell(1, 0, noteTitle);
    Q_ASSERT(flow::returnCodeRowCount() == std::size_t(gridRows - 1));
    for (int row = 1; row < gridRows; ++row) {
        const flow::ReturnCodeRow &entry = flow::returnCodeRow(std::size_t(row - 1));
        m_cells->setCell(0, row, QString::fromUtf8(entry.code));
        m_cells->setCell(1, row, QString::fromUtf8(entry.note));
    }
}

bool Trtnform::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint) {
        if (auto *corner = qobject_cast<QAbstractButton *>(watched)) {
            QStyleOptionHeader option;
            option.initFrom(corner);
            option.palette.setCurrentColorGroup(QPalette::Active);
            option.state = QStyle::State_Enabled;
            if (corner->isActiveWindow())
                option.state |= QStyle::State_Active;
            option.rect = corner->rect();
            option.position = QStyleOptionHeader::OnlyOneSection;
            option.text = cell(0, 0);
            option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
            QPainter painter(corner);
            corner->style()->drawControl(QStyle::CE_Header, &option, &painter, corner);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

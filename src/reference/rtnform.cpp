#include "reference/rtnform.h"
#include "ui_rtnform.h"

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

struct ReturnCode
{
    const char *code;
    const char *note;
};

// Rows 1 to 80 of the grid. The note of 2100 runs on in the next row,
// whose code cell stays empty.
const ReturnCode returnCodes[gridRows - 1] = {
    {"202", "无效操作员代码"},
    {"203", "无效证券代码"},
    {"204", "非交易时间"},
    {"208", "无效买卖标志"},
    {"213", "证券被挂起"},
    {"214", "该股票不参与集合竞价"},
    {"215", "无效帐号"},
    {"216", "该帐号未指定在你席位"},
    {"217", "帐号已挂起"},
    {"218", "无效价格"},
    {"219", "申报价不能为零"},
    {"220", "最小价格步长是......."},
    {"222", "价格超出范围"},
    {"223", "申报买入数量必须是1000的整数倍"},
    {"224", "无效数量"},
    {"225", "申报数量必须大于0"},
    {"226", "新股申报数量至少1000"},
    {"227", "申报数量不符最小步长"},
    {"228", "申报数量必须不大于......."},
    {"229", "超出限量"},
    {"231", "余额不足"},
    {"234", "股票持有量超出限量"},
    {"236", "不允许买入（债转股用）"},
    {"243", "基金帐号\\机构帐号不能买卖此证券"},
    {"244", "[S]帐号不能买入"},
    {"245", "不能撤销指定（有卖空股票）"},
    {"246", "不能撤销指定（有委托）"},
    {"247", "不能撤销指定（公司卖空）"},
    {"248", "中央登记结算公司不允许撤销指定"},
    {"250", "托管席位（数据库中的firmid）错，请用结算会员代码，可从登记公司查询。"},
    {"252", "无效操作员代码"},
    {"271", "该帐号已指定在你席位"},
    {"272", "未做指定不能交易"},
    {"401", "无效操作员代码"},
    {"403", "无效申报序号"},
    {"404", "他人申报"},
    {"405", "帐号不同"},
    {"406", "股票不同"},
    {"407", "买卖不同"},
    {"408", "已撤单"},
    {"409", "只能通过买799998撤销指定"},
    {"410", "只能通过买799999重新指定"},
    {"411", "申报已成交"},
    {"499", "无申报可撤"},
    {"1001", "底层UDP通信环境没有成功建立"},
    {"1011", "底层TCP通信环境没有成功建立"},
    {"1021", "rec_num 必须连续递增"},
    {"1022", "股票代码错误"},
    {"1023", "账号错误"},
    {"1024", "买卖方向错误"},
    {"1025", "价格错误"},
    {"1026", "数量错误"},
    {"1027", "日期错误"},
    {"1028", "委托单或撤消单的标志错误"},
    {"1029", "结算会员代码错误"},
    {"1030", "撤消单的ordrec域错误"},
    {"1031", "撤消单的ordrec域大于等于撤消单的rec_num域"},
    {"1032", "被撤单记录在ORDWTH中无法找到"},
    {"1033", "撤消单的TEORDERNUM数据无效"},
    {"1034", "撤消的委托单是失败的数据单"},
    {"1035", "被撤单记录在ORDWTH2中找不到"},
    {"1036", "被撤单记录没有TEOrderNumber!(是空白字符串)，合同号空"},
    {"1038", "本地撤单[a撤b]"},
    {"1039", "刚读入待处理的单子的status是[P]或[p]"},
    {"1040", "刚读入待处理的单子的status不是[R]，也不是[P]"},
    {"1041", "PC本地撤单"},
    {"1042", "底层通讯接收时发生错"},
    {"1043", "接收到的数据包内容错误"},
    {"1100", "委托号太大"},
    {"1101", "记录不匹配"},
    {"2000", "与交易所的网络连接出错"},
    {"2001", "被撤单的日期不是今天"},
    {"2004", "被撤单的帐号不是本人"},
    {"2006", "撤单记录中被撤单的股票代码与被撤单不一致"},
    {"2007", "撤单记录中被撤单的股票价格不正确，与被撤单不一致"},
    {"2008", "只有委托才可被撤单"},
    {"2100", "笼统的[PC端已处理]信息。只在崩溃恢复过程中产生，这时不再仔细区分各种PC端已处理、从而不再真正发往主机"},
    {"", "的情形，可能包括各种PC端检查发现错单以及本地撤单。"},
    {"2101", "撤单记录和被撤单记录的股票买卖方向不同"},
    {"2102", "撤单记录和被撤单记录的股票数量不同"},
};

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
    for (int row = 1; row < gridRows; ++row) {
        const ReturnCode &entry = returnCodes[row - 1];
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

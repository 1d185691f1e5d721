#include "monitor/traceform.h"
#include "ui_traceform.h"

#include "connection/datamodule.h"
#include "db/command.h"
#include "db/connection.h"
#include "db/worker.h"
#include "flow/flowreader.h"
#include "flow/flowtext.h"
#include "monitor/monitorsettings.h"
#include "ui/gridcopy.h"
#include "ui/gridsizes.h"
#include "ui/windowplace.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>

Ttraceform *traceform = nullptr;

namespace {
const QString ReadingText = QStringLiteral("正在读取…");
const QString FailedText = QStringLiteral("读取失败：%1");
const QString TimedOutText = QStringLiteral("读取超时：%1 在 %2 秒内未返回");
const QString NoLoginText = QStringLiteral("未登录");
const QStringList Titles{QStringLiteral("时间"),     QStringLiteral("类别"), QStringLiteral("记录编号"),
                         QStringLiteral("申请编号"), QStringLiteral("数量"), QStringLiteral("价格"),
                         QStringLiteral("状态"),     QStringLiteral("返回信息")};
// The widest text a column usually holds.
const QStringList Samples{QStringLiteral("00:00:00"),   QStringLiteral("委托确认"),  QStringLiteral("99999999"),
                          QStringLiteral("J000000000"), QStringLiteral("99999999"),  QStringLiteral("9999.999"),
                          QStringLiteral("W")};
} // namespace

Ttraceform::Ttraceform(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::Ttraceform>())
    , m_rows(new QStandardItemModel(0, int(Titles.size()), this))
{
    ui->setupUi(this);
    m_rows->setHorizontalHeaderLabels(Titles);
    ui->TraceGrid->setModel(m_rows);
    fitGridToSamples(ui->TraceGrid, Samples);
    installCopyEntries(ui->TraceGrid);
    connect(ui->RefreshButton, &QPushButton::clicked, this, &Ttraceform::RefreshButtonClick);
}

Ttraceform::~Ttraceform()
{
    if (isVisible())
        savePlace(this, monitorsettings::Section, monitorsettings::KeyTracePlace);
    if (m_session && m_worker)
        m_worker->post([session = std::move(m_session)](CommandControl &) mutable { session.reset(); });
}

void Ttraceform::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        restorePlace(this, monitorsettings::Section, monitorsettings::KeyTracePlace);
    }
    QWidget::showEvent(event);
}

void Ttraceform::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    cancelRead();
    // The trace has no status line; a place not kept is no loss worth a word.
    savePlace(this, monitorsettings::Section, monitorsettings::KeyTracePlace);
}

QString Ttraceform::stateText() const
{
    return ui->StateLabel->text();
}

void Ttraceform::showOrder(const flow::TraceKey &key, const QString &odbcConnectionString,
                           const QString &database)
{
    if (odbcConnectionString != m_connection || database != m_database) {
        cancelRead();
        dropSession(); // another database: a connection of its own to it
        m_connection = odbcConnectionString;
        m_database = database;
    }
    show();
    raise();
    activateWindow();
    m_rows->removeRows(0, m_rows->rowCount());
    m_key = key;
    read();
}

void Ttraceform::RefreshButtonClick()
{
    if (m_key)
        read();
}

void Ttraceform::read()
{
    if (!m_session) {
        const Connection *con = datamod ? datamod->con : nullptr;
        if (!con || !con->connected()) {
            ui->StateLabel->setText(NoLoginText);
            emit traced(false);
            return;
        }
        m_session = m_connection.isEmpty()
            ? std::make_shared<flow::TraceSession>(con->odbcConnectionString(), con->defaultDatabase())
            : std::make_shared<flow::TraceSession>(m_connection, m_database);
        if (!m_worker)
            m_worker = std::make_unique<DatabaseWorker>(QStringLiteral("trace"));
    }
    ui->StateLabel->setText(ReadingText);
    auto result = std::make_shared<flow::OrderTrace>();
    const quint64 generation = ++m_generation;
    const int querySeconds = monitorsettings::querySeconds();
    m_run = m_worker->post(
        [session = m_session, key = *m_key, result, querySeconds](CommandControl &control) {
            *result = session->read(key, querySeconds, &control);
        },
        this, [this, result, generation, querySeconds](std::exception_ptr error) {
            traceEnded(error, result, generation, querySeconds);
        });
}

void Ttraceform::traceEnded(std::exception_ptr error, std::shared_ptr<flow::OrderTrace> trace,
                            quint64 generation, int querySeconds)
{
    if (generation != m_generation)
        return; // a later trace, a closing or a logout came first
    m_run.reset();
    if (error) {
        QString text = FailedText.arg(errorText(error));
        try {
            std::rethrow_exception(error);
        } catch (const flow::ReadError &e) {
            if (e.timedOut())
                text = TimedOutText.arg(e.table()).arg(querySeconds);
        } catch (...) {
        }
        ui->StateLabel->setText(text);
        emit traced(false);
        return;
    }
    m_rows->removeRows(0, m_rows->rowCount());
    for (const flow::TraceRow &row : trace->rows) {
        const bool trade = row.kind == flow::TraceRow::Trade;
        QList<QStandardItem *> items;
        for (const QString &text :
             {flow::clockText(row.time), flow::kindText(row.kind), QString::number(row.recNum), row.reff,
              QString::number(row.quantity), row.price, trade ? QString() : row.status, row.remark})
            items.append(new QStandardItem(text));
        items.last()->setToolTip(row.remark);
        m_rows->appendRow(items);
    }
    ui->StateLabel->setText(flow::stateSentence(*trace));
    emit traced(true);
}

void Ttraceform::cancelRead()
{
    if (!m_run)
        return;
    ++m_generation;
    m_run->control().requestCancel();
    m_run.reset();
}

// The session is closed on the worker that used it.
void Ttraceform::dropSession()
{
    if (m_session && m_worker)
        m_worker->post([session = std::move(m_session)](CommandControl &) mutable { session.reset(); });
    m_session.reset();
}

void Ttraceform::stop()
{
    cancelRead();
    ++m_generation;
    dropSession();
    m_connection.clear();
    m_database.clear();
    m_key.reset();
    m_rows->removeRows(0, m_rows->rowCount());
    ui->StateLabel->clear();
    hide();
}

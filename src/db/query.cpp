#include "db/query.h"

#include "db/command.h"
#include "db/connection.h"
#include "base/platform.h"
#include "db/memoryshortage.h"
#include "db/memorywatch.h"
#include "db/worker.h"

#include <QMetaObject>

#include <algorithm>
#include <new>
#include <optional>

namespace {

const QString ClosedDataSetText = QStringLiteral("查询结果已关闭，请重新查询");
const QString FieldNotFoundText = QStringLiteral("字段“%1”不存在");
const QString ParameterNotFoundText = QStringLiteral("参数“%1”不存在");
const QString NoResultSetText = QStringLiteral("语句没有返回结果集");
const QString BadSortText = QStringLiteral("排序表达式“%1”无效");
const QString RowOutOfRangeText = QStringLiteral("第 %1 行不存在");

// Text parameters longer than this go as long wide text.
constexpr qsizetype LongParameterLimit = 4000;

const QString LineBreak = QStringLiteral("\r\n");

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

QString withoutColon(const QString &name)
{
    return name.startsWith(QLatin1Char(':')) ? name.mid(1) : name;
}

// A mistake in the use of a named query object carries its name first.
ProgramError queryError(const QObject &query, const QString &message)
{
    if (query.objectName().isEmpty())
        return ProgramError(message);
    return ProgramError(query.objectName() + QStringLiteral(": ") + message);
}

// A held result this large is freed on the connection's worker, in order
// before the next list's fetch, and its memory given back to the system: a
// new list never holds the old result and the new one at once, and the
// event loop is not held up while hundreds of megabytes are freed.
constexpr std::size_t LargeResultBytes = 16 * 1024 * 1024;

void discard(std::unique_ptr<ResultSet> result, DatabaseWorker *worker)
{
    if (!result || result->heldBytes() < LargeResultBytes)
        return;
    std::shared_ptr<ResultSet> held = std::move(result);
    auto free = [held = std::move(held)](CommandControl &) mutable {
        held.reset();
        platform::giveBackFreedMemory();
    };
    if (worker) {
        worker->post(std::move(free));
    } else {
        CommandControl here;
        free(here);
    }
}

// Seconds a statement may execute before the driver gives up; fetching is
// not limited.
constexpr SQLULEN QueryTimeoutSeconds = 30;

} // namespace

// Owns the statement handle of one call and the buffers bound to it. The
// link keeps the connection alive until the handle has been freed.
struct QueryCall::Statement
{
    std::shared_ptr<ConnectionLink> link;
    odbc::Handle handle;
    std::vector<std::vector<SQLWCHAR>> buffers;
    std::vector<QByteArray> narrowBuffers;
    std::vector<SQLLEN> indicators;
    std::vector<SQLWCHAR> text;
    bool prepared = false;
    bool watchMemory = false; // a list: see MemoryWatch

    // A cursor a stopped fetch left open is closed before the handle goes,
    // on the thread that used it.
    ~Statement()
    {
        if (handle && !odbc::leavingHandles())
            SQLFreeStmt(handle.get(), SQL_CLOSE);
    }

    SQLHSTMT get() const { return handle.get(); }

    void run(CommandControl *control)
    {
        SQLRETURN rc;
        bool memoryShort = false;
        {
            const CommandControl::Interruptible interruptible(control, get());
            std::optional<MemoryWatch> watch;
            if (watchMemory)
                watch.emplace(get());
            if (prepared)
                rc = SQLExecute(get());
            else
                rc = SQLExecDirectW(get(), text.data(), SQL_NTS);
            memoryShort = watch && watch->stop();
        }
        // Stopped before the driver took the memory the program needs: the
        // list ends as one its fetch stops.
        if (memoryShort)
            throw ResultTooLarge(control ? control->rows() : 0);
        if (rc != SQL_NO_DATA)
            odbc::check(rc, SQL_HANDLE_STMT, get(), prepared ? "SQLExecute" : "SQLExecDirect");
    }

    // Moves past results without columns (row counts) to the first result set.
    void seekResultSet()
    {
        for (;;) {
            SQLSMALLINT columns = 0;
            odbc::check(SQLNumResultCols(get(), &columns), SQL_HANDLE_STMT, get(), "SQLNumResultCols");
            if (columns > 0)
                return;
            const SQLRETURN rc = SQLMoreResults(get());
            if (rc == SQL_NO_DATA)
                throw DatabaseError(NoResultSetText);
            odbc::check(rc, SQL_HANDLE_STMT, get(), "SQLMoreResults");
        }
    }

    // Reads every remaining result so that errors raised late reach the caller.
    void drain(CommandControl *control)
    {
        for (;;) {
            SQLRETURN rc;
            {
                const CommandControl::Interruptible interruptible(control, get());
                rc = SQLMoreResults(get());
            }
            if (rc == SQL_NO_DATA)
                return;
            odbc::check(rc, SQL_HANDLE_STMT, get(), "SQLMoreResults");
        }
    }
};

QueryCall::~QueryCall() = default;

namespace {

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 128; });
}

} // namespace

void QueryCall::bind(Statement &stmt, std::size_t i, const Value &value)
{
    const qsizetype length = value.text.size();
    const SQLULEN columnSize = SQLULEN(std::max<qsizetype>(length, 1));
    SQLRETURN rc;
    if (value.type == ParameterType::AsciiText && isAscii(value.text)) {
        stmt.narrowBuffers[i] = value.text.toLatin1();
        stmt.indicators[i] = value.assigned ? SQLLEN(length) : SQL_NULL_DATA;
        const SQLSMALLINT sqlType = length > LongParameterLimit ? SQL_LONGVARCHAR : SQL_VARCHAR;
        rc = SQLBindParameter(stmt.get(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, columnSize, 0,
                              stmt.narrowBuffers[i].data(), SQLLEN(stmt.narrowBuffers[i].size() + 1),
                              &stmt.indicators[i]);
    } else {
        stmt.buffers[i] = odbc::toWide(value.text);
        stmt.indicators[i] = value.assigned ? SQLLEN(length * sizeof(SQLWCHAR)) : SQL_NULL_DATA;
        const SQLSMALLINT sqlType = length > LongParameterLimit ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        rc = SQLBindParameter(stmt.get(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR, sqlType, columnSize, 0,
                              stmt.buffers[i].data(), SQLLEN(stmt.buffers[i].size() * sizeof(SQLWCHAR)),
                              &stmt.indicators[i]);
    }
    odbc::check(rc, SQL_HANDLE_STMT, stmt.get(), "SQLBindParameter");
}

// Allocates a statement, binds the parameters as text and runs it.
std::unique_ptr<QueryCall::Statement> QueryCall::run(CommandControl *control, bool watchMemory) const
{
    auto stmt = std::make_unique<Statement>();
    stmt->watchMemory = watchMemory;
    stmt->link = m_link;
    stmt->handle = odbc::Handle(SQL_HANDLE_STMT, m_link->get());
    // A driver without a query time-out runs the statement without one.
    SQLSetStmtAttr(stmt->get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(QueryTimeoutSeconds), 0);
    stmt->buffers.resize(m_values.size());
    stmt->narrowBuffers.resize(m_values.size());
    stmt->indicators.resize(m_values.size());
    for (std::size_t i = 0; i < m_values.size(); ++i)
        bind(*stmt, i, m_values[i]);
    stmt->text = odbc::toWide(m_text);
    stmt->prepared = m_prepared;
    if (m_prepared) {
        const SQLRETURN rc = SQLPrepareW(stmt->get(), stmt->text.data(), SQL_NTS);
        odbc::check(rc, SQL_HANDLE_STMT, stmt->get(), "SQLPrepare");
    }
    stmt->run(control);
    return stmt;
}

std::unique_ptr<ResultSet> QueryCall::fetch(CommandControl *control) const
{
    // Memory running out ends a list in one way whichever part met it (the
    // fetch's room check, the watch, the driver, an allocation), and only
    // once the statement and the rows fetched are freed: told then, the
    // message has the memory it needs.
    try {
        return fetchWhole(control);
    } catch (const ResultTooLarge &) {
        platform::giveBackFreedMemory();
        throw;
    } catch (const DatabaseError &error) {
        if (!isOutOfMemory(error))
            throw;
        // The operator gets the program's message; the driver's own text
        // is for the log.
        qWarning("out of memory in the driver: %s", qUtf8Printable(error.message()));
    } catch (const std::bad_alloc &) {
    }
    platform::giveBackFreedMemory();
    throw ResultTooLarge(control ? control->rows() : 0);
}

std::unique_ptr<ResultSet> QueryCall::fetchWhole(CommandControl *control) const
{
    std::unique_ptr<Statement> stmt = run(control, true);
    if (control)
        control->throwIfCancelled();
    stmt->seekResultSet();
    Statement *raw = stmt.get();
    return ResultSet::fetchAll(
        stmt->get(),
        [raw, control] {
            raw->run(control);
            raw->seekResultSet();
        },
        control);
}

void QueryCall::execute(CommandControl *control) const
{
    run(control)->drain(control);
}

Field::Field(const ResultSet *result, int row, int column)
    : m_result(result)
    , m_row(row)
    , m_column(column)
{
}

QString Field::name() const
{
    return m_result->columnName(m_column);
}

bool Field::isNull() const
{
    return m_row < 0 || m_result->isNull(m_row, m_column);
}

QString Field::asString() const
{
    return m_row < 0 ? QString() : m_result->text(m_row, m_column);
}

FieldKind Field::kind() const
{
    return m_result->kind(m_column);
}

struct Query::Private
{
    struct Parameter
    {
        QString name;
        QString value;
        bool assigned = false;
        ParameterType type = ParameterType::WideText;
    };

    Connection *connection = nullptr;
    QStringList lines;
    std::vector<Parameter> parameters;
    QString statement;       // the text with every marker replaced by "?"
    std::vector<int> markers; // parameter of each marker, in text order
    bool prepared = false;

    std::unique_ptr<ResultSet> result;
    int row = -1;
    bool eof = true;
    bool rowSignalQueued = false;
    // Recently used field names (exact spelling) and their columns.
    mutable std::vector<std::pair<QString, int>> fieldCache;

    QString lastStatement;
    QStringList lastBound;

    int parameterIndex(const QString &nameWithColon) const
    {
        const QString name = withoutColon(nameWithColon);
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            if (parameters[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return int(i);
        }
        return -1;
    }

    // Rebuilds the parameters and the driver's text from the SQL lines:
    // ":name" outside quoted text is a marker, "::" stays as it is.
    void parse()
    {
        parameters.clear();
        markers.clear();
        statement.clear();
        const QString text = lines.join(LineBreak);
        const qsizetype n = text.size();
        statement.reserve(n);
        qsizetype i = 0;
        while (i < n) {
            const QChar c = text[i];
            if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                // A doubled quote closes and reopens, which keeps it inside.
                statement += c;
                ++i;
                while (i < n && text[i] != c)
                    statement += text[i++];
                if (i < n)
                    statement += text[i++];
            } else if (c == QLatin1Char(':') && i + 1 < n && text[i + 1] == QLatin1Char(':')) {
                statement += QLatin1String("::");
                i += 2;
            } else if (c == QLatin1Char(':') && i + 1 < n && isNameChar(text[i + 1])) {
                qsizetype end = i + 1;
                while (end < n && isNameChar(text[end]))
                    ++end;
                const QString name = text.mid(i + 1, end - i - 1);
                int index = parameterIndex(name);
                if (index < 0) {
                    parameters.push_back({name, QString(), false, ParameterType::WideText});
                    index = int(parameters.size()) - 1;
                }
                markers.push_back(index);
                statement += QLatin1Char('?');
                i = end;
            } else {
                statement += c;
                ++i;
            }
        }
    }

    int fieldIndex(const QString &name) const
    {
        for (const auto &entry : fieldCache) {
            if (entry.first == name)
                return entry.second;
        }
        const int index = result->columnIndex(name);
        if (index >= 0) {
            if (fieldCache.size() >= 8)
                fieldCache.erase(fieldCache.begin());
            fieldCache.emplace_back(name, index);
        }
        return index;
    }
};

Query::Query(Connection *connection, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->connection = connection;
}

Query::~Query() = default;

Connection *Query::connection() const
{
    return d->connection;
}

QStringList Query::sql() const
{
    return d->lines;
}

QString Query::sqlText() const
{
    return d->lines.join(LineBreak);
}

void Query::clearSql()
{
    d->lines.clear();
    d->parse();
}

void Query::addSql(const QString &line)
{
    d->lines << line;
    d->parse();
}

void Query::setSql(const QStringList &lines)
{
    d->lines = lines;
    d->parse();
}

QStringList Query::parameterNames() const
{
    QStringList names;
    for (const auto &parameter : d->parameters)
        names << parameter.name;
    return names;
}

bool Query::hasParameter(const QString &name) const
{
    return d->parameterIndex(name) >= 0;
}

void Query::setParameter(const QString &name, const QString &value, ParameterType type)
{
    const int index = d->parameterIndex(name);
    if (index < 0)
        throw queryError(*this, ParameterNotFoundText.arg(withoutColon(name)));
    d->parameters[std::size_t(index)].value = value;
    d->parameters[std::size_t(index)].assigned = true;
    d->parameters[std::size_t(index)].type = type;
}

QString Query::parameterValue(const QString &name) const
{
    const int index = d->parameterIndex(name);
    return index < 0 ? QString() : d->parameters[std::size_t(index)].value;
}

bool Query::prepared() const
{
    return d->prepared;
}

void Query::setPrepared(bool prepared)
{
    d->prepared = prepared;
}

void Query::requireActive() const
{
    // Said to the operator as it is: the object's name would mean nothing.
    if (!d->result)
        throw ProgramError(ClosedDataSetText);
}

void Query::setCurrentRow(int row, bool eof)
{
    d->eof = eof;
    if (row == d->row)
        return;
    d->row = row;
    if (d->rowSignalQueued)
        return;
    d->rowSignalQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            d->rowSignalQueued = false;
            emit currentRowChanged(d->row);
        },
        Qt::QueuedConnection);
}

void Query::open()
{
    if (d->result)
        return;
    adopt(call()->fetch());
}

void Query::execSql()
{
    call()->execute();
}

std::shared_ptr<const QueryCall> Query::call()
{
    requireOpen(d->connection);
    std::shared_ptr<QueryCall> call(new QueryCall);
    call->m_link = d->connection->link();
    call->m_text = d->statement;
    call->m_prepared = d->prepared;
    d->lastStatement = d->statement;
    d->lastBound.clear();
    for (const int marker : d->markers) {
        const Private::Parameter &parameter = d->parameters[std::size_t(marker)];
        call->m_values.push_back({parameter.value, parameter.assigned, parameter.type});
        d->lastBound << parameter.value;
    }
    return call;
}

void Query::adopt(std::unique_ptr<ResultSet> result)
{
    if (d->result || !result)
        return;
    emit resultAboutToChange();
    d->result = std::move(result);
    d->fieldCache.clear();
    first();
    emit resultChanged();
    emit activeChanged(true);
}

void Query::close()
{
    if (!d->result)
        return;
    emit resultAboutToChange();
    discard(std::move(d->result), d->connection ? d->connection->worker() : nullptr);
    d->fieldCache.clear();
    setCurrentRow(-1, true);
    emit resultChanged();
    emit activeChanged(false);
}

bool Query::active() const
{
    return d->result != nullptr;
}

QString Query::lastStatement() const
{
    return d->lastStatement;
}

QStringList Query::lastBoundValues() const
{
    return d->lastBound;
}

int Query::recordCount() const
{
    requireActive();
    return d->result->rowCount();
}

void Query::first()
{
    requireActive();
    const int rows = d->result->rowCount();
    setCurrentRow(rows > 0 ? 0 : -1, rows == 0);
}

void Query::next()
{
    requireActive();
    if (d->row + 1 < d->result->rowCount())
        setCurrentRow(d->row + 1, false);
    else
        d->eof = true;
}

bool Query::eof() const
{
    requireActive();
    return d->eof;
}

int Query::recNo() const
{
    return d->result ? d->row : -1;
}

void Query::setRecNo(int row)
{
    requireActive();
    if (row < 0 || row >= d->result->rowCount())
        throw ProgramError(RowOutOfRangeText.arg(row + 1));
    setCurrentRow(row, false);
}

Field Query::fieldByName(const QString &name) const
{
    requireActive();
    const int column = d->fieldIndex(name);
    if (column < 0)
        throw queryError(*this, FieldNotFoundText.arg(name));
    return Field(d->result.get(), d->row, column);
}

void Query::sort(const QString &expression,
                 const std::function<void(const std::function<void(CommandControl &)> &work)> &run)
{
    requireActive();
    const QStringList parts = expression.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool descending = false;
    if (parts.size() != 2)
        throw ProgramError(BadSortText.arg(expression));
    if (parts[1].compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0)
        descending = true;
    else if (parts[1].compare(QLatin1String("ASC"), Qt::CaseInsensitive) != 0)
        throw ProgramError(BadSortText.arg(expression));
    const int column = d->result->columnIndex(parts[0]);
    if (column < 0)
        throw ProgramError(FieldNotFoundText.arg(parts[0]));

    const ResultSet *result = d->result.get();
    auto order = std::make_shared<std::vector<std::uint32_t>>();
    const auto work = [result, column, descending, order](CommandControl &control) {
        *order = result->sortedOrder(column, descending, &control);
    };
    if (run) {
        run(work);
    } else {
        CommandControl control;
        work(control);
    }
    if (d->result.get() != result)
        return; // closed or replaced meanwhile
    emit resultAboutToChange();
    d->result->setOrder(std::move(*order));
    d->row = -2; // the first row is current again even when it was before
    first();
    emit resultChanged();
    emit orderChanged();
}

const ResultSet *Query::result() const
{
    return d->result.get();
}

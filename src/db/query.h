#pragma once

#include "db/resultset.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class CommandControl;
class Connection;
class ConnectionLink;
class Query;

// How a text parameter is declared to the driver.
enum class ParameterType {
    WideText,  // SQL_WVARCHAR: any characters (passwords)
    AsciiText, // SQL_VARCHAR, so that SQL Server compares a varchar column without
               // converting it; a value with other characters still goes wide
};

// A named parameter of a statement, its text value and how it is declared.
struct Parameter
{
    QString name;
    QString value;
    ParameterType type = ParameterType::WideText;
};
using Parameters = QList<Parameter>;

// A field of the current row, read by name.
class Field
{
public:
    Field(const ResultSet *result, int row, int column);
    QString name() const;
    bool isNull() const;
    QString asString() const;   // empty for null
    FieldKind kind() const;

private:
    const ResultSet *m_result;
    int m_row;
    int m_column;
};

// What open() and execSql() send to the driver: the statement and its
// parameter values copied from the query, bound to the connection as it was.
// It runs on a database worker while the query stays on its thread (the
// rules: db/worker.h).
class QueryCall
{
public:
    ~QueryCall();
    // Executes and fetches the whole result; a cancel of the control stops
    // it (see "Cancel" in db/worker.h). Throws DatabaseError or
    // OperationCancelled; memory running out, wherever met, throws
    // ResultTooLarge once what the call held is freed (a driver's own
    // out-of-memory text goes to the log).
    std::unique_ptr<ResultSet> fetch(CommandControl *control = nullptr) const;
    // Executes a statement that returns no rows.
    void execute(CommandControl *control = nullptr) const;

private:
    friend class Query;
    struct Statement;
    // A parameter's value at one marker.
    struct Value
    {
        QString text;
        bool assigned = false;
        ParameterType type = ParameterType::WideText;
    };
    QueryCall() = default;
    std::unique_ptr<Statement> run(CommandControl *control, bool watchMemory = false) const;
    std::unique_ptr<ResultSet> fetchWhole(CommandControl *control) const;
    static void bind(Statement &stmt, std::size_t i, const Value &value);

    std::shared_ptr<ConnectionLink> m_link;
    QString m_text;
    std::vector<Value> m_values; // per marker
    bool m_prepared = false;
};

// A query object on the connection: SQL text as lines, named text
// parameters, and a result held whole on the client once opened.
//
// Failures of the database are thrown as DatabaseError, mistakes of use as
// ProgramError: using the result of a closed query (first, next, field
// access, re-sort, record count) throws "查询结果已关闭，请重新查询".
class Query : public QObject
{
    Q_OBJECT
public:
    explicit Query(Connection *connection, QObject *parent = nullptr);
    ~Query() override;

    Connection *connection() const;

    // SQL text; the lines are sent as one statement joined by CR LF.
    // Every change re-parses the named parameters.
    QStringList sql() const;
    QString sqlText() const;
    void clearSql();
    void addSql(const QString &line);
    void setSql(const QStringList &lines);

    // Named parameters: a colon and a name outside quoted text ("::" is left
    // alone). Names are distinct, case-insensitive, in order of first use.
    QStringList parameterNames() const;
    bool hasParameter(const QString &name) const;
    // Sets every place of the name to a text value. The name may be given
    // with or without its colon. Throws when the parameter does not exist.
    void setParameter(const QString &name, const QString &value,
                      ParameterType type = ParameterType::WideText);
    QString parameterValue(const QString &name) const;

    bool prepared() const;
    void setPrepared(bool prepared);

    // Runs a statement that returns rows and holds its whole result; the
    // first row becomes current. Opening an open query does nothing.
    // A failing open leaves the query closed.
    void open();
    // Runs a statement that returns no rows; the query stays closed.
    void execSql();
    // The two halves of open() and execSql() for a call run elsewhere: call()
    // takes the statement as it is now (the connection must be open) and
    // records it as the last statement; adopt() makes a fetched result the
    // open result, as open() does.
    std::shared_ptr<const QueryCall> call();
    void adopt(std::unique_ptr<ResultSet> result);
    // Drops the held result; does nothing when already closed.
    void close();
    bool active() const;

    // The text last sent to the driver (named parameters replaced by "?")
    // and the values bound to its markers, in marker order.
    QString lastStatement() const;
    QStringList lastBoundValues() const;

    int recordCount() const;
    void first();
    void next();
    bool eof() const;
    int recNo() const;        // current row in the current order, -1 when empty
    void setRecNo(int row);
    Field fieldByName(const QString &name) const;
    // Re-sorts the held result in memory: "field ASC" or "field DESC". The
    // new order is computed through `run` when given (a runner that waits
    // while the work goes on elsewhere, as runCommand does; the held result
    // must not change meanwhile), else here.
    void sort(const QString &expression,
              const std::function<void(const std::function<void(CommandControl &)> &work)> &run = {});
    const ResultSet *result() const; // null when closed

signals:
    // Around every change of the held result (open, close, re-sort), for models.
    void resultAboutToChange();
    void resultChanged();
    void activeChanged(bool active);
    void orderChanged();
    // Delivered once per turn of the event loop however often the row moved.
    void currentRowChanged(int row);

private:
    struct Private;
    std::unique_ptr<Private> d;
    void requireActive() const;
    void setCurrentRow(int row, bool eof);
};

#include "gateway.h"
#include "splitmix.h"

#include "db/connection.h"
#include "db/connstring.h"
#include "db/odbc.h"
#include "db/query.h"
#include "db/resultset.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <queue>
#include <thread>
#include <unordered_map>

namespace gateway {

volatile std::sig_atomic_t stopRequested = 0;

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::int64_t;

using tools::Random;

// ---------------------------------------------------------------- SQL
// Values go as text parameters; numbers are cast in the statement, which
// SQL Server, PostgreSQL and SQLite all accept.

const QStringList InsertOrderSql = {
    QStringLiteral("insert into ashare_ordwth (rec_num,date,time,reff,acc,stock,bs,price,qty,status,owflag,ordrec,firmid)"),
    QStringLiteral("values (cast(:rec as int),:date,:time,:reff,:acc,:stock,:bs,:price,:qty,'R',:owflag,:ordrec,:firmid)")};
const QStringList TakeSql = {
    QStringLiteral("update ashare_ordwth set status = 'P'"),
    QStringLiteral("where rec_num = cast(:rec as int) and reff = :reff and status in ('R','r')")};
// The columns of an order row, in the order rowOf() reads them.
const QString RowSelect =
    QStringLiteral("select rec_num,reff,acc,stock,bs,price,qty,owflag,ordrec,firmid,time from ashare_ordwth");
const QStringList WaitingSql = {RowSelect, QStringLiteral("where status in ('R','r') order by rec_num")};
const QStringList InsertConfirmationSql = {
    QStringLiteral("insert into ashare_ordwth2 (rec_num,date,time,reff,acc,stock,bs,price,qty,qty2,status,remark,"),
    QStringLiteral("status1,owflag,ordrec,teordernum,firmid) values (cast(:rec as int),:date,:time,:reff,:acc,:stock,"),
    QStringLiteral(":bs,:price,:qty,:qty2,:status,:remark,null,:owflag,:ordrec,:teordernum,:firmid)")};
const QStringList InsertTradeSql = {
    QStringLiteral("insert into ashare_cjhb (gddm,gdxm,bcrq,cjbh,gsdm,cjsl,bcye,zqdm,sbsj,cjsj,cjjg,cjje,sqbh,bs,mjbh)"),
    QStringLiteral("values (:gddm,:gdxm,:bcrq,:cjbh,:gsdm,cast(:cjsl as int),cast(:bcye as int),:zqdm,:sbsj,:cjsj,"),
    QStringLiteral("cast(:cjjg as numeric(9,3)),cast(:cjje as numeric(15,2)),:sqbh,:bs,:mjbh)")};
const QStringList OrderByRecSql = {RowSelect,
                                   QStringLiteral("where rec_num = cast(:rec as int) and upper(owflag) <> 'WTH'")};
const QStringList ConfirmationOfSql = {
    QStringLiteral("select status from ashare_ordwth2 where reff = :reff and upper(owflag) <> 'WTH'")};
const QStringList FilledSql = {QStringLiteral("select sum(cjsl) from ashare_cjhb where sqbh = :reff")};
const QStringList CancelledSql = {
    QStringLiteral("select count(*) from ashare_ordwth2 where upper(owflag) = 'WTH' and status = 'W' and ordrec = :ordrec")};
const QStringList LastRecSql = {QStringLiteral("select max(rec_num) from ashare_ordwth")};
const QStringList LastTakenSql = {QStringLiteral("select max(rec_num) from ashare_ordwth where status in ('P','p')")};
const QStringList LastReffSql = {
    QStringLiteral("select reff from ashare_ordwth where rec_num = "),
    QStringLiteral("(select max(rec_num) from ashare_ordwth where upper(owflag) <> 'WTH')")};
const QStringList HighestReffSql = {QStringLiteral("select max(reff) from ashare_ordwth where reff like 'J%'")};
const QStringList LastConfirmationSql = {QStringLiteral("select max(rec_num) from ashare_ordwth2")};
const QStringList LastTradeSql = {QStringLiteral("select max(cast(cjbh as int)) from ashare_cjhb")};

// Codes the exchange rejects an order with, and their notes.
struct Rejection
{
    const char *code;
    const char *note;
};
const Rejection Rejections[] = {
    {"231", "余额不足"}, {"218", "无效价格"}, {"215", "无效帐号"}, {"222", "价格超出范围"},
    {"213", "证券被挂起"}, {"1025", ""}, {"1026", ""}, {"1023", ""}};
const char *const SequenceCode = "1021";    // rec_num out of sequence
const char *const NoOrderCode = "1030";     // a cancel's ordrec names no order
const char *const NotLowerCode = "1031";    // a cancel's ordrec not below its rec_num
const char *const FailedOrderCode = "1034"; // a cancel of a rejected order
const char *const CancelledCode = "408";    // already cancelled
const char *const FilledCode = "411";       // already traded in full

QString noteOf(const QString &code)
{
    for (const Rejection &rejection : Rejections) {
        if (code == QLatin1String(rejection.code))
            return QString::fromUtf8(rejection.note);
    }
    if (code == QLatin1String(FilledCode))
        return QStringLiteral("申报已成交");
    if (code == QLatin1String(CancelledCode))
        return QStringLiteral("已撤单");
    return {};
}

// A three-digit code of the exchange's back end ("F") comes with its note;
// a four-digit one of the gateway's own checks ("E") alone.
QString remarkOf(const QString &code)
{
    return code.size() == 3 ? code + noteOf(code) : code;
}

QString statusOfRejection(const QString &code)
{
    return code.size() == 3 ? QStringLiteral("F") : QStringLiteral("E");
}

QString digits(std::int64_t value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

QString priceText(std::int64_t cents)
{
    return QString::number(cents / 100) + QLatin1Char('.') + digits(cents % 100, 2);
}

// An HH:MM:SS time as HHMMSS without a leading zero.
QString hhmmss(const QString &clock)
{
    QString text = clock.trimmed();
    text.remove(QLatin1Char(':'));
    while (text.size() > 1 && text.startsWith(QLatin1Char('0')))
        text.remove(0, 1);
    return text;
}

const char *const Surnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙"};
const char *const GivenNames[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "海燕", "建华"};

// A shareholder's name for an account, always the same for the same code.
QString nameOf(const QString &account)
{
    const auto hash = std::uint32_t(qHash(account, 7));
    return QString::fromUtf8(Surnames[hash % 12]) + QString::fromUtf8(GivenNames[hash / 12 % 12]);
}

// ---------------------------------------------------------------- database

// Runs the project's queries on one connection; keeps one query object per
// statement.
class Database
{
public:
    explicit Database(Connection &connection) : m_connection(connection) {}

    Query &query(const QStringList &sql, const std::vector<std::pair<QString, QString>> &parameters)
    {
        std::unique_ptr<Query> &slot = m_queries[sql.join(QLatin1Char('\n'))];
        if (!slot) {
            slot = std::make_unique<Query>(&m_connection);
            slot->setSql(sql);
        }
        slot->close();
        for (const auto &[name, value] : parameters)
            slot->setParameter(name, value, ParameterType::AsciiText);
        return *slot;
    }
    void exec(const QStringList &sql, const std::vector<std::pair<QString, QString>> &parameters = {})
    {
        query(sql, parameters).execSql();
    }
    const ResultSet &select(const QStringList &sql, const std::vector<std::pair<QString, QString>> &parameters = {})
    {
        Query &q = query(sql, parameters);
        q.open();
        return *q.result();
    }
    // The first value of the first row, trimmed; empty for none or null.
    QString value(const QStringList &sql, const std::vector<std::pair<QString, QString>> &parameters = {})
    {
        const ResultSet &result = select(sql, parameters);
        return result.rowCount() > 0 ? result.text(0, 0).trimmed() : QString();
    }
    std::int64_t number(const QStringList &sql, const std::vector<std::pair<QString, QString>> &parameters = {})
    {
        bool ok = false;
        const std::int64_t n = value(sql, parameters).toLongLong(&ok);
        return ok ? n : 0;
    }
    Connection &connection() { return m_connection; }

private:
    Connection &m_connection;
    std::map<QString, std::unique_ptr<Query>> m_queries;
};

bool isSqlite(Connection &connection)
{
    SQLWCHAR name[128] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(connection.handle(), SQL_DBMS_NAME, name, sizeof name, &length)))
        return false;
    return odbc::fromWide(name, length / SQLSMALLINT(sizeof(SQLWCHAR))).contains(QLatin1String("SQLite"), Qt::CaseInsensitive);
}

// ---------------------------------------------------------------- rows

// A row of ashare_ordwth as both sides see it.
struct Row
{
    std::int64_t rec = 0;
    QString reff, acc, stock, bs, price, owflag, ordrec, firm, time;
    std::int64_t qty = 0;

    bool isCancel() const { return owflag.compare(QLatin1String("WTH"), Qt::CaseInsensitive) == 0; }
};

Row rowOf(const ResultSet &result, int i)
{
    Row row;
    row.rec = result.text(i, 0).trimmed().toLongLong();
    row.reff = result.text(i, 1).trimmed();
    row.acc = result.text(i, 2).trimmed();
    row.stock = result.text(i, 3).trimmed();
    row.bs = result.text(i, 4).trimmed();
    row.price = result.text(i, 5).trimmed();
    row.qty = result.text(i, 6).trimmed().toLongLong();
    row.owflag = result.text(i, 7).trimmed();
    row.ordrec = result.text(i, 8).trimmed();
    row.firm = result.text(i, 9).trimmed();
    row.time = result.text(i, 10).trimmed();
    return row;
}

// What the run did, in the order it is printed.
class Counters
{
public:
    void add(const char *name, std::int64_t n = 1) { entry(name) += n; }
    void set(const char *name, const QString &value) { m_text[QString::fromLatin1(name)] = value; order(name); }
    std::vector<std::pair<QString, QString>> lines() const
    {
        std::vector<std::pair<QString, QString>> out;
        for (const QString &name : m_order) {
            const auto text = m_text.find(name);
            out.emplace_back(name, text != m_text.end() ? *text : QString::number(m_numbers.value(name)));
        }
        return out;
    }
    void declare(const char *name) { entry(name); }

private:
    std::int64_t &entry(const char *name)
    {
        order(name);
        return m_numbers[QString::fromLatin1(name)];
    }
    void order(const char *name)
    {
        const QString key = QString::fromLatin1(name);
        if (!m_order.contains(key))
            m_order << key;
    }
    QStringList m_order;
    QHash<QString, std::int64_t> m_numbers;
    QHash<QString, QString> m_text;
};

struct Clocks
{
    QString date; // YYYYMMDD
    QString dayDate() const { return date.isEmpty() ? QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) : date; }
    static QString time() { return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")); }
};

// ---------------------------------------------------------------- broker

class Broker
{
public:
    Broker(Database &db, const Options &options, Counters &counters)
        : m_db(db), m_options(options), m_counters(counters), m_random(options.seed)
    {
        m_nextRec = m_db.number(LastRecSql) + 1;
        // Reffs "J" and nine digits, above any such reff already there.
        m_nextReff = std::max<std::int64_t>(m_nextRec, m_db.value(HighestReffSql).mid(1).toLongLong() + 1);
        m_lastOrderReff = m_db.value(LastReffSql);
        for (int i = 0; i < 40; ++i)
            m_accounts << QStringLiteral("A") + digits(m_random.below(1000000000), 9);
        static const int bases[] = {600000, 601000, 603000, 688000, 510000};
        for (int i = 0; i < 30; ++i)
            m_securities << digits(bases[m_random.below(5)] + m_random.below(1000), 6);
        for (const char *name : {"rows_inserted", "orders_inserted", "cancels_inserted"})
            m_counters.declare(name);
    }

    std::int64_t inserted() const { return m_inserted; }

    // Inserts the broker's next row.
    // Nothing of the row counts before the database has it: a failed
    // insert leaves no gap in rec_num.
    void insertNext()
    {
        const std::int64_t k = m_inserted + 1;
        const Faults &faults = m_options.faults;
        std::vector<std::pair<const char *, QString>> planted;
        std::int64_t next = m_nextRec;
        if (k == faults.gap)
            planted.emplace_back("planted_gap_rec_num", QString::number(next++));
        Row row;
        const bool repeatRec = k == faults.repeatRecNum && m_lastRec > 0;
        row.rec = repeatRec ? m_lastRec : next++;
        if (repeatRec)
            planted.emplace_back("planted_repeat_rec_num", QString::number(row.rec));
        row.time = Clocks::time();
        row.firm = digits(30000 + m_random.below(4), 5);

        const std::int64_t reffBefore = m_nextReff;
        Order *cancelled = nullptr;
        bool plainOrder = false;
        if (k == faults.cancelUnknown) {
            // A cancel naming a row that is no order: the latest cancel, or 0.
            makeCancel(row, nullptr);
            row.ordrec = QString::number(m_lastCancelRec);
            planted.emplace_back("planted_cancel_unknown_rec_num", QString::number(row.rec));
        } else if (k == faults.cancelNotLower) {
            makeCancel(row, nullptr);
            row.ordrec = QString::number(row.rec);
            planted.emplace_back("planted_cancel_not_lower_rec_num", QString::number(row.rec));
        } else if (k == faults.repeatReff && !m_lastOrderReff.isEmpty()) {
            makeOrder(row);
            row.reff = m_lastOrderReff;
            planted.emplace_back("planted_repeat_reff", row.reff);
        } else if ((cancelled = cancelCandidate())) {
            makeCancel(row, cancelled);
        } else {
            makeOrder(row);
            plainOrder = true;
        }
        try {
            insert(row);
        } catch (...) {
            m_nextReff = reffBefore;
            throw;
        }
        m_nextRec = next;
        for (const auto &[name, value] : planted)
            m_counters.set(name, value);
        if (cancelled)
            cancelled->cancelled = true;
        if (plainOrder)
            m_lastOrderReff = row.reff;
        m_lastRec = std::max(m_lastRec, row.rec);
        ++m_inserted;
        m_counters.add("rows_inserted");
        m_counters.add(row.isCancel() ? "cancels_inserted" : "orders_inserted");
        if (row.isCancel())
            m_lastCancelRec = row.rec;
        else
            remember(row);
    }

private:
    struct Order
    {
        Row row;
        bool cancelled = false;
    };

    QString nextReff() { return QStringLiteral("J") + digits(m_nextReff++, 9); }

    void makeOrder(Row &row)
    {
        row.reff = nextReff();
        row.acc = m_accounts[int(m_random.below(m_accounts.size()))];
        row.stock = m_securities[int(m_random.below(m_securities.size()))];
        row.bs = m_random.chance(50) ? QStringLiteral("B") : QStringLiteral("S");
        row.price = priceText(200 + m_random.below(8000));
        row.qty = 100 * (1 + m_random.below(50));
        static const char *const kinds[] = {"ORD", "LPT", "LPT", "ORD", "MPT"};
        row.owflag = QString::fromLatin1(kinds[m_random.below(5)]);
        row.ordrec = QStringLiteral("0");
    }

    // A cancel of `order`, or with the fields of the latest order when none.
    void makeCancel(Row &row, Order *order)
    {
        const Row *source = order ? &order->row : (m_recent.empty() ? nullptr : &m_recent.back().row);
        Row any;
        if (!source) {
            makeOrder(any);
            source = &any;
        }
        row.acc = source->acc;
        row.stock = source->stock;
        row.bs = source->bs;
        row.price = source->price;
        row.qty = source->qty;
        row.owflag = QStringLiteral("WTH");
        row.reff = order && m_options.cancelReffRepeatsOrder ? order->row.reff : nextReff();
        if (order)
            row.ordrec = QString::number(order->row.rec);
    }

    Order *cancelCandidate()
    {
        if (m_recent.empty() || !m_random.chance(m_options.cancelPercent))
            return nullptr;
        Order &order = m_recent[std::size_t(m_random.below(std::int64_t(m_recent.size())))];
        // Market orders are not cancelled; nor is an order twice.
        if (order.cancelled || order.row.owflag == QLatin1String("MPT"))
            return nullptr;
        return &order;
    }

    void remember(const Row &row)
    {
        m_recent.push_back({row, false});
        if (m_recent.size() > 50)
            m_recent.pop_front();
    }

    void insert(const Row &row)
    {
        m_db.exec(InsertOrderSql, {{QStringLiteral("rec"), QString::number(row.rec)},
                                   {QStringLiteral("date"), m_clocks.dayDate()},
                                   {QStringLiteral("time"), row.time},
                                   {QStringLiteral("reff"), row.reff},
                                   {QStringLiteral("acc"), row.acc},
                                   {QStringLiteral("stock"), row.stock},
                                   {QStringLiteral("bs"), row.bs},
                                   {QStringLiteral("price"), row.price},
                                   {QStringLiteral("qty"), QString::number(row.qty)},
                                   {QStringLiteral("owflag"), row.owflag},
                                   {QStringLiteral("ordrec"), row.ordrec},
                                   {QStringLiteral("firmid"), row.firm}});
    }

    Database &m_db;
    const Options &m_options;
    Counters &m_counters;
    Random m_random;
    Clocks m_clocks{m_options.date};
    QStringList m_accounts, m_securities;
    std::deque<Order> m_recent;
    std::int64_t m_nextRec = 1;
    std::int64_t m_nextReff = 1;
    std::int64_t m_lastRec = 0;
    std::int64_t m_lastCancelRec = 0;
    std::int64_t m_inserted = 0;
    QString m_lastOrderReff;
};

// ---------------------------------------------------------------- exchange

class Exchange
{
public:
    Exchange(Database &db, const Options &options, Counters &counters)
        : m_db(db), m_options(options), m_counters(counters), m_random(options.seed ^ 0x5EED5EEDULL)
    {
        const QString lastTaken = m_db.value(LastTakenSql);
        if (!lastTaken.isEmpty())
            m_expected = lastTaken.toLongLong() + 1;
        // Confirmations are numbered in a sequence of their own, not with
        // the order's rec_num (gateways differ; nothing matches on it).
        m_nextConfirmation = m_db.number(LastConfirmationSql) + 1;
        m_nextTrade = std::max<std::int64_t>(m_db.number(LastTradeSql) + 1, 10001);
        for (const char *name : {"rows_taken", "confirmations_written", "orders_accepted", "rejections",
                                 "cancels_accepted", "cancels_refused", "trades_written", "quantity_filled",
                                 "sequence_faults"})
            m_counters.declare(name);
    }

    std::int64_t taken() const { return m_taken; }
    bool taking() const { return !m_stoppedTaking; }
    bool idle() const { return m_events.empty(); }

    // Takes the waiting rows in rec_num order. Gives the number seen waiting
    // that this side could still take.
    std::int64_t poll(Millis now)
    {
        if (m_stoppedTaking)
            return 0;
        const ResultSet &result = m_db.select(WaitingSql);
        std::vector<Row> rows;
        for (int i = 0; i < result.rowCount(); ++i)
            rows.push_back(rowOf(result, i));
        std::int64_t left = std::int64_t(rows.size());
        for (const Row &row : rows) {
            if (stopRequested || m_stoppedTaking || limitReached())
                break;
            if (m_options.faults.stopTaking > 0 && m_taken == m_options.faults.stopTaking) {
                m_stoppedTaking = true;
                m_counters.set("planted_stop_taking_rec_num", QString::number(row.rec));
                break;
            }
            if (!take(row, now))
                break;
            --left;
        }
        return m_stoppedTaking ? 0 : left;
    }

    // Runs the confirmations and fills that are due.
    void runDue(Millis now)
    {
        while (!m_events.empty() && m_events.top().due <= now && !stopRequested) {
            Event event = m_events.top();
            m_events.pop();
            try {
                event.run();
            } catch (...) {
                // Written again a little later: nothing is lost to a busy database.
                event.due = now + 100;
                m_events.push(std::move(event));
                throw;
            }
        }
    }

    Millis nextDue() const { return m_events.empty() ? -1 : m_events.top().due; }

private:
    struct Event
    {
        Millis due;
        std::int64_t sequence;
        std::function<void()> run;
        bool operator>(const Event &other) const
        {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };

    // What the exchange knows of an order.
    struct Book
    {
        Row row;
        QString status; // of its confirmation; empty before
        std::int64_t filled = 0;
        bool cancelled = false;
    };

    // Alone, the exchange takes at most the given number of rows.
    bool limitReached() const
    {
        return !m_options.broker && m_options.rows > 0 && m_taken >= m_options.rows;
    }

    void schedule(Millis due, std::function<void()> run)
    {
        m_events.push({due, m_sequence++, std::move(run)});
    }

    // Takes one row: sets "P" and schedules what comes back. False when the
    // exchange halts on it.
    bool take(const Row &row, Millis now)
    {
        const Faults &faults = m_options.faults;
        QString sequenceFault;
        std::int64_t expected = row.rec + 1;
        if (m_expected > 0 && row.rec != m_expected) {
            if (m_options.haltOnSequenceFault) {
                m_counters.add("sequence_faults");
                m_stoppedTaking = true;
                m_counters.set("halted_at_rec_num", QString::number(row.rec));
                return false;
            }
            sequenceFault = QString::fromLatin1(SequenceCode);
            // After a repeat the next one is still the one expected.
            if (row.rec < m_expected)
                expected = m_expected;
        }
        m_db.exec(TakeSql, {{QStringLiteral("rec"), QString::number(row.rec)}, {QStringLiteral("reff"), row.reff}});
        m_expected = expected;
        if (!sequenceFault.isEmpty())
            m_counters.add("sequence_faults");
        ++m_taken;
        m_counters.add("rows_taken");
        if (m_taken == faults.unknownTrade)
            schedule(now, [this, row] { writeUnknownTrade(row); });
        if (faults.stopConfirming > 0 && m_taken > faults.stopConfirming) {
            if (m_taken == faults.stopConfirming + 1)
                m_counters.set("planted_stop_confirming_rec_num", QString::number(row.rec));
            return true;
        }
        if (!sequenceFault.isEmpty()) {
            schedule(now + m_options.confirmDelayMs, [this, row, sequenceFault] { confirmRejected(row, sequenceFault); });
            return true;
        }
        if (row.isCancel()) {
            schedule(now + m_options.confirmDelayMs, [this, row] { confirmCancel(row); });
            return true;
        }
        ++m_ordersTaken;
        QString code;
        if (faults.rejectBurst > 0 && m_ordersTaken >= faults.rejectBurst
            && m_ordersTaken < faults.rejectBurst + faults.rejectCount) {
            code = faults.rejectCode;
            m_counters.add("planted_reject_burst");
        } else if (m_random.chance(m_options.rejectPercent)) {
            code = naturalRejection();
        }
        Book &book = m_book[row.rec];
        book.row = row;
        if (!code.isEmpty()) {
            schedule(now + m_options.confirmDelayMs, [this, row, code] { confirmRejected(row, code); });
            return true;
        }
        // An order repeating an earlier reff is confirmed but not filled:
        // its trades could not be told from the other order's.
        const bool repeatedReff = m_reffs.contains(row.reff);
        m_reffs.insert(row.reff, row.rec);
        schedule(now + m_options.confirmDelayMs, [this, row, repeatedReff, now] {
            confirmAccepted(row, repeatedReff, now + m_options.confirmDelayMs);
        });
        return true;
    }

    QString naturalRejection()
    {
        for (;;) {
            const QString code = QString::fromLatin1(Rejections[m_random.below(std::int64_t(std::size(Rejections)))].code);
            // The burst's code only in the burst, so that it stands out.
            if (m_options.faults.rejectBurst == 0 || code != m_options.faults.rejectCode)
                return code;
        }
    }

    void writeConfirmation(const Row &row, const QString &status, const QString &remark, std::int64_t qty2)
    {
        const std::int64_t rec = m_nextConfirmation;
        const bool accepted = status == QLatin1String("O") || status == QLatin1String("W");
        m_db.exec(InsertConfirmationSql,
                  {{QStringLiteral("rec"), QString::number(rec)},
                   {QStringLiteral("date"), m_clocks.dayDate()},
                   {QStringLiteral("time"), Clocks::time()},
                   {QStringLiteral("reff"), row.reff},
                   {QStringLiteral("acc"), row.acc},
                   {QStringLiteral("stock"), row.stock},
                   {QStringLiteral("bs"), row.bs},
                   {QStringLiteral("price"), row.price},
                   {QStringLiteral("qty"), QString::number(row.qty)},
                   {QStringLiteral("qty2"), QString::number(qty2)},
                   {QStringLiteral("status"), status},
                   {QStringLiteral("remark"), remark},
                   {QStringLiteral("owflag"), row.owflag},
                   {QStringLiteral("ordrec"), row.ordrec.isEmpty() ? QStringLiteral("0") : row.ordrec},
                   {QStringLiteral("teordernum"), accepted ? digits(10000000 + rec, 8) : QString()},
                   {QStringLiteral("firmid"), row.firm}});
        ++m_nextConfirmation;
        m_counters.add("confirmations_written");
    }

    void confirmRejected(const Row &row, const QString &code)
    {
        writeConfirmation(row, statusOfRejection(code), remarkOf(code), 0);
        m_counters.add(row.isCancel() ? "cancels_refused" : "rejections");
        if (!row.isCancel())
            m_book[row.rec].status = statusOfRejection(code);
    }

    void confirmAccepted(const Row &row, bool repeatedReff, Millis now)
    {
        // A market order's remainder would be cancelled at once: it trades in full here.
        writeConfirmation(row, QStringLiteral("O"), QStringLiteral("0"), 0);
        Book &book = m_book[row.rec];
        book.status = QStringLiteral("O");
        ++m_accepted;
        m_counters.add("orders_accepted");
        if (repeatedReff)
            return;
        if (m_accepted == m_options.faults.overfill) {
            m_counters.set("planted_overfill_reff", row.reff);
            schedule(now + m_options.fillDelayMs, [this, rec = row.rec] { fill(rec, m_book[rec].row.qty + 100); });
            return;
        }
        const auto plan = m_random.below(100);
        if (plan >= 90 && row.owflag != QLatin1String("MPT"))
            return; // not traded (yet)
        const std::int64_t lots = row.qty / 100;
        const std::int64_t toFill = plan < 70 || row.owflag == QLatin1String("MPT") || lots < 2
            ? lots
            : 1 + m_random.below(lots - 1);
        const std::int64_t fills = std::min<std::int64_t>(toFill, 1 + m_random.below(3));
        std::int64_t left = toFill;
        Millis due = now + m_options.fillDelayMs;
        for (std::int64_t k = 0; k < fills; ++k) {
            const std::int64_t partsLeft = fills - k;
            const std::int64_t part = partsLeft == 1 ? left : 1 + m_random.below(left - partsLeft + 1);
            left -= part;
            schedule(due, [this, rec = row.rec, part] { fill(rec, 100 * part); });
            due += std::max(1, m_options.fillDelayMs / 2);
        }
    }

    // A cancel is decided when its confirmation is written, against what
    // the order has traded by then.
    void confirmCancel(const Row &row)
    {
        bool ok = false;
        const std::int64_t target = row.ordrec.toLongLong(&ok);
        if (!ok || target >= row.rec) {
            confirmRejected(row, QString::fromLatin1(ok ? NotLowerCode : NoOrderCode));
            return;
        }
        Book *book = bookOf(target);
        if (!book) {
            confirmRejected(row, QString::fromLatin1(NoOrderCode));
            return;
        }
        QString refusal;
        if (book->status.isEmpty() || (book->status != QLatin1String("O")))
            refusal = QString::fromLatin1(FailedOrderCode);
        else if (book->cancelled)
            refusal = QString::fromLatin1(CancelledCode);
        else if (book->filled >= book->row.qty)
            refusal = QString::fromLatin1(FilledCode);
        if (!refusal.isEmpty()) {
            confirmRejected(row, refusal);
            return;
        }
        writeConfirmation(row, QStringLiteral("W"), QStringLiteral("0"), book->row.qty - book->filled);
        book->cancelled = true;
        m_counters.add("cancels_accepted");
    }

    // The order with this rec_num: from this run, else as the tables hold it.
    Book *bookOf(std::int64_t rec)
    {
        const auto found = m_book.find(rec);
        if (found != m_book.end())
            return &found->second;
        const ResultSet &result = m_db.select(OrderByRecSql, {{QStringLiteral("rec"), QString::number(rec)}});
        if (result.rowCount() == 0)
            return nullptr;
        Book book;
        book.row = rowOf(result, 0);
        book.status = m_db.value(ConfirmationOfSql, {{QStringLiteral("reff"), book.row.reff}});
        book.filled = m_db.number(FilledSql, {{QStringLiteral("reff"), book.row.reff}});
        book.cancelled = m_db.number(CancelledSql, {{QStringLiteral("ordrec"), QString::number(rec)}}) > 0;
        return &(m_book[rec] = book);
    }

    void fill(std::int64_t rec, std::int64_t quantity)
    {
        Book &book = m_book[rec];
        if (book.cancelled)
            return;
        writeTrade(book.row, book.row.reff, quantity);
        book.filled += quantity;
    }

    void writeTrade(const Row &row, const QString &sqbh, std::int64_t quantity)
    {
        const QString cents = QString(row.price).remove(QLatin1Char('.'));
        const std::int64_t priceCents = cents.toLongLong();
        const std::int64_t amountCents = priceCents * quantity;
        m_db.exec(InsertTradeSql,
                  {{QStringLiteral("gddm"), row.acc},
                   {QStringLiteral("gdxm"), nameOf(row.acc)},
                   {QStringLiteral("bcrq"), m_clocks.dayDate()},
                   {QStringLiteral("cjbh"), QString::number(m_nextTrade)},
                   {QStringLiteral("gsdm"), row.firm},
                   {QStringLiteral("cjsl"), QString::number(quantity)},
                   {QStringLiteral("bcye"), QString::number(row.bs == QLatin1String("B") ? quantity : 0)},
                   {QStringLiteral("zqdm"), row.stock},
                   {QStringLiteral("sbsj"), hhmmss(row.time)},
                   {QStringLiteral("cjsj"), hhmmss(Clocks::time())},
                   {QStringLiteral("cjjg"), row.price},
                   {QStringLiteral("cjje"), priceText(amountCents)},
                   {QStringLiteral("sqbh"), sqbh},
                   {QStringLiteral("bs"), row.bs},
                   {QStringLiteral("mjbh"), QStringLiteral("00001")}});
        ++m_nextTrade;
        m_counters.add("trades_written");
        m_counters.add("quantity_filled", quantity);
    }

    void writeUnknownTrade(const Row &row)
    {
        const QString sqbh = QStringLiteral("Z") + digits(row.rec, 9);
        Row traded = row;
        if (traded.qty <= 0)
            traded.qty = 100;
        writeTrade(traded, sqbh, 100);
        m_counters.set("planted_unknown_trade_sqbh", sqbh);
    }

    Database &m_db;
    const Options &m_options;
    Counters &m_counters;
    Random m_random;
    Clocks m_clocks{m_options.date};
    std::priority_queue<Event, std::vector<Event>, std::greater<Event>> m_events;
    std::unordered_map<std::int64_t, Book> m_book;
    QHash<QString, std::int64_t> m_reffs;
    std::int64_t m_sequence = 0;
    std::int64_t m_expected = 0; // next rec_num; 0: whatever comes first
    std::int64_t m_nextConfirmation = 1;
    std::int64_t m_nextTrade = 10001;
    std::int64_t m_taken = 0;
    std::int64_t m_ordersTaken = 0;
    std::int64_t m_accepted = 0;
    bool m_stoppedTaking = false;
};

Millis elapsed(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

QString odbcConnectionString(const Options &options)
{
    if (!options.connectionString.isEmpty())
        return options.connectionString;
    QString text = QStringLiteral("DSN=") + odbcValue(options.dsn);
    if (!options.user.isEmpty())
        text += QStringLiteral(";UID=") + odbcValue(options.user);
    if (!options.password.isEmpty())
        text += QStringLiteral(";PWD=") + odbcValue(options.password);
    return text;
}

std::vector<std::pair<QString, QString>> run(Connection &connection, const Options &options)
{
    Database db(connection);
    // The tool reads while this writes: SQLite in WAL mode lets it.
    if (isSqlite(connection))
        db.select({QStringLiteral("pragma journal_mode=wal")});
    Counters counters;
    std::unique_ptr<Broker> broker;
    std::unique_ptr<Exchange> exchange;
    if (options.broker)
        broker = std::make_unique<Broker>(db, options, counters);
    if (options.exchange)
        exchange = std::make_unique<Exchange>(db, options, counters);

    const Clock::time_point start = Clock::now();
    const Millis interval = std::max<Millis>(1, Millis(1000.0 / std::max(options.rate, 0.001)));
    Millis nextInsert = 0;
    Millis nextPoll = 0;
    std::int64_t waiting = 0;
    bool polledSinceInsert = false;
    int failures = 0;
    QString stoppedBy = QStringLiteral("rows");
    for (;;) {
        const Millis now = elapsed(start);
        if (stopRequested) {
            stoppedBy = QStringLiteral("signal");
            break;
        }
        if (options.seconds > 0 && now >= Millis(options.seconds * 1000)) {
            stoppedBy = QStringLiteral("time");
            break;
        }
        // With a row count, the run ends once the broker has inserted its
        // rows and the exchange has answered every row it could take.
        const bool brokerDone = !broker || broker->inserted() >= options.rows;
        const bool exchangeDone = !exchange
            || (exchange->idle()
                && (!exchange->taking() || (polledSinceInsert && waiting == 0)
                    || (!broker && exchange->taken() >= options.rows)));
        if (options.rows > 0 && brokerDone && exchangeDone)
            break;
        try {
            if (broker && (options.rows == 0 || !brokerDone) && now >= nextInsert) {
                broker->insertNext();
                polledSinceInsert = false;
                nextInsert += interval;
            }
            if (exchange) {
                if (now >= nextPoll) {
                    waiting = exchange->poll(now);
                    polledSinceInsert = true;
                    nextPoll = now + options.pollMs;
                }
                exchange->runDue(elapsed(start));
            }
            failures = 0;
        } catch (const DatabaseError &error) {
            // A busy or briefly unreachable database: report, go on, give up
            // when it keeps failing.
            std::fprintf(stderr, "gateway: %s\n", error.what());
            counters.add("write_errors");
            if (++failures >= 20)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        QCoreApplication::processEvents();
        Millis wake = exchange ? nextPoll : now + 20;
        if (broker && (options.rows == 0 || !brokerDone))
            wake = std::min(wake, nextInsert);
        if (exchange && exchange->nextDue() >= 0)
            wake = std::min(wake, exchange->nextDue());
        const Millis sleep = std::clamp<Millis>(wake - elapsed(start), 0, 20);
        if (sleep > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(sleep));
    }
    counters.set("stopped_by", stoppedBy);
    counters.set("seconds", QString::number(double(elapsed(start)) / 1000.0, 'f', 1));
    return counters.lines();
}

} // namespace gateway


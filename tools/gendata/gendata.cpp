#include "gendata.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace gendata {

namespace {

const char *const Schema = R"sql(
create table ashare_cjhb (
  gddm varchar(10), gdxm varchar(8), bcrq varchar(8), cjbh varchar(10),
  gsdm varchar(5), cjsl int, bcye int, zqdm varchar(6), sbsj varchar(6),
  cjsj varchar(6), cjjg numeric(9,3), cjje numeric(15,2), sqbh varchar(10),
  bs varchar(1), mjbh varchar(5));
create table ashare_ordwth (
  rec_num int, date varchar(8), time varchar(8), reff varchar(10),
  acc varchar(10), stock varchar(6), bs varchar(1), price varchar(8),
  qty varchar(8), status varchar(1), owflag varchar(3), ordrec varchar(8),
  firmid varchar(5), checkord varchar(32));
create table ashare_ordwth2 (
  rec_num int, date varchar(8), time varchar(8), reff varchar(10),
  acc varchar(10), stock varchar(6), bs varchar(1), price varchar(8),
  qty varchar(8), qty2 varchar(8), status varchar(1), remark varchar(40),
  status1 varchar(1), owflag varchar(3), ordrec varchar(8), teordernum varchar(8),
  firmid varchar(5), checkord varchar(32));
)sql";

// splitmix64: the same numbers on every platform and compiler.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 <= value < bound
    std::int64_t below(std::int64_t bound) { return bound <= 0 ? 0 : std::int64_t(next() % std::uint64_t(bound)); }
    std::int64_t between(std::int64_t low, std::int64_t high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

class Database
{
public:
    explicit Database(const std::string &path)
    {
        if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) {
            const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
            sqlite3_close(m_db);
            throw Error("cannot open " + path + ": " + message);
        }
    }
    ~Database() { sqlite3_close(m_db); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    void exec(const std::string &sql)
    {
        char *error = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "unknown error";
            sqlite3_free(error);
            throw Error(message);
        }
    }
    sqlite3 *get() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

class Statement
{
public:
    Statement(Database &db, const char *sql) : m_db(db.get())
    {
        if (sqlite3_prepare_v2(m_db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            throw Error(sqlite3_errmsg(m_db));
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void text(int index, const std::string &value)
    {
        sqlite3_bind_text(m_stmt, index, value.data(), int(value.size()), SQLITE_TRANSIENT);
    }
    void integer(int index, std::int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }
    void real(int index, double value) { sqlite3_bind_double(m_stmt, index, value); }
    void null(int index) { sqlite3_bind_null(m_stmt, index); }
    void run()
    {
        if (sqlite3_step(m_stmt) != SQLITE_DONE)
            throw Error(sqlite3_errmsg(m_db));
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

const std::array<const char *, 24> Surnames = {
    "王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙",
    "马", "朱", "胡", "郭", "何", "高", "林", "罗", "郑", "梁", "谢", "宋"};
const std::array<const char *, 24> GivenNames = {
    "伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳",
    "杰", "涛", "明", "超", "秀英", "桂英", "建华", "志强", "海燕", "晓东", "文博", "浩然"};
const std::array<const char *, 8> Remarks = {
    "成功", "成功", "成功", "成功", "231余额不足", "203无效证券代码", "218无效价格", "204非交易时间"};

std::string digits(std::int64_t value, int width)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*lld", width, static_cast<long long>(value));
    return buffer;
}

struct Account
{
    std::string code;
    std::string name;
};

std::vector<Account> makeAccounts(Random &random, std::int64_t count)
{
    static const char prefixes[] = {'A', 'A', 'A', 'A', 'B', 'C', 'D', 'F'};
    std::vector<Account> accounts;
    accounts.reserve(std::size_t(count));
    for (std::int64_t i = 0; i < count; ++i) {
        Account account;
        account.code = prefixes[random.below(8)] + digits(random.below(1000000000), 9);
        account.name = std::string(Surnames[std::size_t(random.below(Surnames.size()))])
            + GivenNames[std::size_t(random.below(GivenNames.size()))];
        accounts.push_back(std::move(account));
    }
    return accounts;
}

std::vector<std::string> makeSecurities(Random &random, std::int64_t count)
{
    static const std::int64_t bases[] = {600000, 601000, 603000, 688000, 510000, 900900, 113000};
    std::vector<std::string> codes;
    codes.reserve(std::size_t(count));
    for (std::int64_t i = 0; i < count; ++i)
        codes.push_back(digits(bases[random.below(7)] + random.below(1000), 6));
    return codes;
}

// A time of the trading day as HHMMSS without a leading zero.
std::int64_t tradingSecond(Random &random)
{
    // 9:15:00-11:30:00 and 13:00:00-15:00:00
    const std::int64_t morning = 2 * 3600 + 15 * 60;
    const std::int64_t afternoon = 2 * 3600;
    std::int64_t s = random.below(morning + afternoon);
    return s < morning ? 9 * 3600 + 15 * 60 + s : 13 * 3600 + (s - morning);
}

std::string hhmmss(std::int64_t second)
{
    const std::int64_t h = second / 3600, m = second / 60 % 60, s = second % 60;
    return std::to_string(h * 10000 + m * 100 + s);
}

std::string clock(std::int64_t second)
{
    return digits(second / 3600, 2) + ":" + digits(second / 60 % 60, 2) + ":" + digits(second % 60, 2);
}

std::string hex(Random &random, int bytes)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        const auto b = random.below(256);
        text += hexDigits[b >> 4];
        text += hexDigits[b & 15];
    }
    return text;
}

std::string price(std::int64_t cents)
{
    return std::to_string(cents / 100) + "." + digits(cents % 100, 2);
}

void generateTrades(Database &db, Random &random, std::int64_t rows,
                    const std::vector<Account> &accounts, const std::vector<std::string> &securities)
{
    Statement insert(db, "insert into ashare_cjhb (gddm,gdxm,bcrq,cjbh,gsdm,cjsl,bcye,zqdm,sbsj,cjsj,"
                         "cjjg,cjje,sqbh,bs,mjbh) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    std::int64_t tradeNumber = 10000;
    std::int64_t row = 0;
    while (row < rows) {
        // One trade number for one to four rows: the fills of one match.
        const std::int64_t group = 1 + random.below(random.chance(40) ? 4 : 1);
        ++tradeNumber;
        const std::int64_t tradeSecond = tradingSecond(random);
        const std::string &security = securities[std::size_t(random.below(std::int64_t(securities.size())))];
        const std::int64_t priceCents = 200 + random.below(8000);
        for (std::int64_t k = 0; k < group && row < rows; ++k, ++row) {
            const Account &account = accounts[std::size_t(random.below(std::int64_t(accounts.size())))];
            const std::int64_t quantity = 100 * (1 + random.below(random.chance(10) ? 1000 : 50));
            // The order was declared up to ten minutes before the trade.
            std::int64_t declared = tradeSecond - random.below(600);
            if (declared < 9 * 3600 + 15 * 60)
                declared = 9 * 3600 + 15 * 60;
            const bool buy = random.chance(50);
            insert.text(1, account.code);
            insert.text(2, account.name);
            insert.text(3, "20261208");
            insert.text(4, std::to_string(tradeNumber));
            insert.text(5, "3" + digits(random.below(4), 4));
            insert.integer(6, quantity);
            insert.integer(7, buy ? quantity + 100 * random.below(100) : 100 * random.below(100));
            insert.text(8, security);
            insert.text(9, hhmmss(declared));
            insert.text(10, hhmmss(tradeSecond));
            insert.real(11, double(priceCents) / 100.0);
            insert.real(12, double(priceCents * quantity) / 100.0);
            insert.text(13, digits(row + 1, 10));
            insert.text(14, buy ? "B" : "S");
            insert.text(15, digits(1 + random.below(5), 5));
            // A few rows with a null in a filtered column.
            if (row % 997 == 13) {
                static const int filtered[] = {1, 8, 6, 7, 14}; // gddm zqdm cjsl bcye bs
                insert.null(filtered[(row / 997) % 5]);
            }
            insert.run();
        }
    }
}

void generateOrders(Database &db, Random &random, std::int64_t rows,
                    const std::vector<Account> &accounts, const std::vector<std::string> &securities)
{
    Statement sent(db, "insert into ashare_ordwth (rec_num,date,time,reff,acc,stock,bs,price,qty,status,"
                       "owflag,ordrec,firmid,checkord) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    Statement received(db, "insert into ashare_ordwth2 (rec_num,date,time,reff,acc,stock,bs,price,qty,qty2,"
                           "status,remark,status1,owflag,ordrec,teordernum,firmid,checkord) "
                           "values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    struct Order
    {
        std::string acc, stock, bs, price, qty;
    };
    std::vector<Order> orders;
    orders.reserve(std::size_t(rows));
    std::int64_t second = 9 * 3600 + 15 * 60;
    for (std::int64_t rec = 1; rec <= rows; ++rec) {
        second += random.below(3);
        if (second > 15 * 3600)
            second = 15 * 3600;
        const bool cancel = rec > 10 && random.chance(6);
        Order order;
        std::int64_t cancelled = 0;
        if (cancel) {
            cancelled = 1 + random.below(rec - 1);
            order = orders[std::size_t(cancelled - 1)];
        } else {
            order.acc = accounts[std::size_t(random.below(std::int64_t(accounts.size())))].code;
            order.stock = securities[std::size_t(random.below(std::int64_t(securities.size())))];
            order.bs = random.chance(50) ? "B" : "S";
            order.price = price(200 + random.below(8000));
            order.qty = std::to_string(100 * (1 + random.below(random.chance(10) ? 1000 : 50)));
        }
        orders.push_back(order);
        const std::string reff = "J" + digits(rec, 9);
        const std::string check = hex(random, 16);
        const std::string firm = digits(30000 + random.below(4), 5);
        const std::string status = random.chance(95) ? "R" : "P";
        const int nullColumn = rec % 499 == 7 ? int((rec / 499) % 6) : -1; // acc stock bs price qty qty2

        sent.integer(1, rec);
        sent.text(2, "20261208");
        sent.text(3, clock(second));
        sent.text(4, reff);
        sent.text(5, order.acc);
        sent.text(6, order.stock);
        sent.text(7, order.bs);
        sent.text(8, order.price);
        sent.text(9, order.qty);
        sent.text(10, status);
        sent.text(11, cancel ? "WTH" : "ORD");
        if (cancel)
            sent.text(12, std::to_string(cancelled));
        else
            sent.null(12);
        sent.text(13, firm);
        sent.text(14, check);
        static const int sentColumns[] = {5, 6, 7, 8, 9};
        if (nullColumn >= 0 && nullColumn < 5)
            sent.null(sentColumns[nullColumn]);
        sent.run();

        const char *remark = Remarks[std::size_t(random.below(Remarks.size()))];
        const bool ok = std::string(remark) == "成功";
        received.integer(1, rec);
        received.text(2, "20261208");
        received.text(3, clock(second + 1 + random.below(2)));
        received.text(4, reff);
        received.text(5, order.acc);
        received.text(6, order.stock);
        received.text(7, order.bs);
        received.text(8, order.price);
        received.text(9, order.qty);
        received.text(10, cancel ? order.qty : "0");
        received.text(11, ok ? "O" : "F");
        received.text(12, remark);
        received.text(13, ok ? "Y" : "N");
        received.text(14, cancel ? "WTH" : "ORD");
        if (cancel)
            received.text(15, std::to_string(cancelled));
        else
            received.null(15);
        received.text(16, "H" + digits(rec, 7));
        received.text(17, firm);
        received.text(18, check);
        static const int receivedColumns[] = {5, 6, 7, 8, 9, 10};
        if (nullColumn >= 0)
            received.null(receivedColumns[nullColumn]);
        received.run();
    }
}

} // namespace

void createSchema(const std::string &path)
{
    Database db(path);
    db.exec(Schema);
}

void execute(const std::string &path, const std::string &sql)
{
    Database db(path);
    db.exec(sql);
}

void generate(const std::string &path, const Options &options)
{
    std::remove(path.c_str());
    Database db(path);
    db.exec("pragma journal_mode=off; pragma synchronous=off;");
    db.exec(Schema);
    Random random(options.seed);
    const std::int64_t accountCount = std::max<std::int64_t>(20, options.tradeRows / 40);
    const auto accounts = makeAccounts(random, accountCount);
    const auto securities = makeSecurities(random, std::max<std::int64_t>(30, options.tradeRows / 500));
    db.exec("begin");
    generateTrades(db, random, options.tradeRows, accounts, securities);
    const std::int64_t orderRows = options.orderRows >= 0 ? options.orderRows : options.tradeRows / 2;
    generateOrders(db, random, orderRows, accounts, securities);
    db.exec("commit");
}

} // namespace gendata

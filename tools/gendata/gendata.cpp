#include "gendata.h"
#include "splitmix.h"

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

using tools::Random;

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
        // A reader of the same file (the tool refreshing) holds it for a moment.
        sqlite3_busy_timeout(m_db, 10000);
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
// Return codes an order is rejected with: the exchange's back end ("F",
// three digits, the code followed by its note) and the gateway's own checks
// ("E", four digits, the code alone).
const std::array<const char *, 7> BackEndRejections = {
    "231余额不足", "231余额不足", "218无效价格", "215无效帐号", "222价格超出范围", "213证券被挂起",
    "224无效数量"};
const std::array<const char *, 4> FrontEndRejections = {"1025", "1026", "1023", "1022"};
// A cancel of an order that has traded in full.
const char *const FilledCancelRemark = "411申报已成交";
// A communication failure.
const char *const LostRemark = "2000";

enum OrderKind : std::uint8_t { Limit, LimitOrd, Market, MarketToLimit, MarginBuy, MarginSell, Cancel };
const char *const OwFlags[] = {"LPT", "ORD", "MPT", "NPT", "LRZ", "LRQ", "WTH"};

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

// Seconds of continuous trading: 9:15:00-11:30:00, then 13:00:00-15:00:00.
constexpr std::int32_t MorningSeconds = 2 * 3600 + 15 * 60;
constexpr std::int32_t TradingSeconds = MorningSeconds + 2 * 3600;

// The time of day of a second of trading.
std::int64_t daySecond(std::int32_t trading)
{
    trading = std::min(trading, TradingSeconds - 1);
    return trading < MorningSeconds ? 9 * 3600 + 15 * 60 + trading : 13 * 3600 + (trading - MorningSeconds);
}

// A time of day as HHMMSS without a leading zero.
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

std::string reffOf(std::int64_t rec)
{
    return "J" + digits(rec, 9);
}

// What became of an order or cancel row.
enum class Outcome : std::uint8_t {
    Waiting,     // status "R": not yet taken by the gateway
    Sent,        // status "P", nothing back yet
    Accepted,    // "O" (an order) or "W" (a cancel)
    BackEnd,     // "F"
    FrontEnd,    // "E"
    Lost,        // "?"
};

// How much of an accepted order trades.
enum class Plan : std::uint8_t { None, Partly, Fully };

struct Order
{
    std::int32_t account = 0;
    std::int32_t security = 0;
    std::int32_t trading = 0;     // second of trading it entered the table
    std::int32_t target = -1;     // a cancel: index of the order it cancels
    std::int32_t cancelledBy = -1;
    std::int32_t lots = 1;        // quantity in lots of 100
    std::int32_t priceCents = 0;
    std::int32_t fills = 0;
    std::int32_t filledLots = 0;
    std::uint8_t reject = 0;      // index into the rejection list of its outcome
    OrderKind kind = Limit;
    Outcome outcome = Outcome::Accepted;
    Plan plan = Plan::None;
    bool buy = true;
};

bool cancellable(const Order &order)
{
    return order.kind != Cancel && order.kind != Market && order.kind != MarketToLimit
        && order.outcome == Outcome::Accepted && order.cancelledBy < 0;
}

OrderKind orderKind(Random &random)
{
    const auto p = random.below(100);
    if (p < 45)
        return LimitOrd;
    if (p < 85)
        return Limit;
    if (p < 92)
        return Market;
    if (p < 95)
        return MarketToLimit;
    return p < 98 ? MarginBuy : MarginSell;
}

// The orders and cancels of one day, in rec_num order, with their outcomes.
// The newest few are still "R", a few before them "P" with nothing back.
std::vector<Order> makeDay(Random &random, std::int64_t count, std::int64_t accounts, std::int64_t securities)
{
    std::vector<Order> day;
    day.reserve(std::size_t(count));
    const std::int64_t waiting = std::min<std::int64_t>(4, count / 10);
    const std::int64_t sent = std::min<std::int64_t>(3, count / 10);
    for (std::int64_t i = 0; i < count; ++i) {
        Order order;
        order.trading = std::int32_t(i * (TradingSeconds - 600) / std::max<std::int64_t>(count, 1));
        if (i >= count - waiting)
            order.outcome = Outcome::Waiting;
        else if (i >= count - waiting - sent)
            order.outcome = Outcome::Sent;
        if (i > 10 && random.chance(6)) {
            const auto target = std::int32_t(i - 1 - random.below(std::min<std::int64_t>(i, 64)));
            Order &cancelled = day[std::size_t(target)];
            if (cancellable(cancelled)) {
                order.kind = Cancel;
                order.target = target;
                order.account = cancelled.account;
                order.security = cancelled.security;
                order.buy = cancelled.buy;
                order.lots = cancelled.lots;
                order.priceCents = cancelled.priceCents;
                cancelled.cancelledBy = std::int32_t(i);
                // Most cancels come in time: the order has not traded in full.
                if (cancelled.plan == Plan::Fully && random.chance(80))
                    cancelled.plan = cancelled.lots >= 2 && random.chance(60) ? Plan::Partly : Plan::None;
                day.push_back(order);
                continue;
            }
        }
        order.kind = orderKind(random);
        order.account = std::int32_t(random.below(accounts));
        order.security = std::int32_t(random.below(securities));
        order.buy = random.chance(50);
        order.lots = std::int32_t(1 + random.below(random.chance(10) ? 1000 : 50));
        order.priceCents = std::int32_t(200 + random.below(8000));
        if (order.outcome == Outcome::Accepted) {
            const auto p = random.below(1000);
            if (p < 5)
                order.outcome = Outcome::Lost;
            else if (p < 35)
                order.outcome = Outcome::FrontEnd;
            else if (p < 95)
                order.outcome = Outcome::BackEnd;
            order.reject = std::uint8_t(random.below(16));
        }
        if (order.outcome == Outcome::Accepted) {
            const auto p = random.below(100);
            order.plan = p < 75 || order.lots < 2 ? Plan::Fully : p < 90 ? Plan::Partly : Plan::None;
        }
        day.push_back(order);
    }
    return day;
}

std::int64_t fillCapacity(const Order &order)
{
    return order.plan == Plan::Fully ? order.lots : order.plan == Plan::Partly ? order.lots - 1 : 0;
}

// Gives the accepted orders fill counts that add up to `total` exactly,
// keeping each order's plan where the total allows it.
void planFills(Random &random, std::vector<Order> &day, std::int64_t total)
{
    std::vector<std::int32_t> filling;
    for (std::size_t i = 0; i < day.size(); ++i) {
        if (day[i].plan != Plan::None)
            filling.push_back(std::int32_t(i));
    }
    // Fewer fills than trading orders: the last ones do not trade after all.
    while (std::int64_t(filling.size()) > total) {
        day[std::size_t(filling.back())].plan = Plan::None;
        filling.pop_back();
    }
    std::int64_t capacity = 0;
    for (const std::int32_t i : filling)
        capacity += fillCapacity(day[std::size_t(i)]);
    if (capacity < total)
        throw Error("too few orders for " + std::to_string(total) + " trade rows");
    if (filling.empty())
        return;
    // Fills beyond one per order, spread about evenly, then corrected in
    // sweeps over the orders (in memory order: the day is large).
    const std::int64_t spread = 2 * (total - std::int64_t(filling.size())) / std::int64_t(filling.size()) + 1;
    std::int64_t sum = 0;
    for (const std::int32_t i : filling) {
        Order &order = day[std::size_t(i)];
        order.fills = std::int32_t(std::min<std::int64_t>(fillCapacity(order), 1 + random.below(spread)));
        sum += order.fills;
    }
    for (int sweep = 0; sum != total; ++sweep) {
        for (std::size_t k = 0; k < filling.size() && sum != total; ++k) {
            Order &order = day[std::size_t(filling[k])];
            // Random steps first; whatever is left over in the last sweeps.
            if (sweep < 8 && !random.chance(50))
                continue;
            if (sum < total && order.fills < fillCapacity(order)) {
                ++order.fills;
                ++sum;
            } else if (sum > total && order.fills > 1) {
                --order.fills;
                --sum;
            }
        }
    }
    for (const std::int32_t i : filling) {
        Order &order = day[std::size_t(i)];
        order.filledLots = order.plan == Plan::Fully
            ? order.lots
            : std::int32_t(order.fills + random.below(order.lots - order.fills));
    }
}

struct Fill
{
    std::int32_t order;
    std::int32_t trading;
    std::int32_t lots;
};

// Splits each order's filled lots into its fills, at or after the order's
// time and before its cancel, and orders them by time.
std::vector<Fill> makeFills(Random &random, const std::vector<Order> &day, std::int64_t total)
{
    std::vector<Fill> fills;
    fills.reserve(std::size_t(total));
    for (std::size_t i = 0; i < day.size(); ++i) {
        const Order &order = day[i];
        if (order.fills == 0)
            continue;
        const std::int32_t last = order.cancelledBy >= 0 ? day[std::size_t(order.cancelledBy)].trading
                                                         : TradingSeconds - 1;
        std::int32_t second = order.trading + std::int32_t(random.below(60));
        std::int32_t lotsLeft = order.filledLots;
        for (std::int32_t k = 0; k < order.fills; ++k) {
            const std::int32_t partsLeft = order.fills - k;
            std::int32_t lots = lotsLeft;
            if (partsLeft > 1) {
                const std::int32_t spare = lotsLeft - partsLeft;
                lots = 1 + std::int32_t(random.below(std::int64_t(spare) * 2 / partsLeft + 1));
                lots = std::min(lots, 1 + spare);
            }
            lotsLeft -= lots;
            fills.push_back({std::int32_t(i), std::min(second, last), lots});
            second += std::int32_t(random.below(90));
        }
    }
    std::stable_sort(fills.begin(), fills.end(), [](const Fill &a, const Fill &b) { return a.trading < b.trading; });
    return fills;
}

void writeTrades(Database &db, Random &random, const std::vector<Order> &day, const std::vector<Fill> &fills,
                 const std::vector<Account> &accounts, const std::vector<std::string> &securities)
{
    Statement insert(db, "insert into ashare_cjhb (gddm,gdxm,bcrq,cjbh,gsdm,cjsl,bcye,zqdm,sbsj,cjsj,"
                         "cjjg,cjje,sqbh,bs,mjbh) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    std::int64_t row = 0;
    for (const Fill &fill : fills) {
        const Order &order = day[std::size_t(fill.order)];
        const Account &account = accounts[std::size_t(order.account)];
        const std::int64_t quantity = 100 * std::int64_t(fill.lots);
        insert.text(1, account.code);
        insert.text(2, account.name);
        insert.text(3, "20261208");
        insert.text(4, std::to_string(10001 + row));
        insert.text(5, "3" + digits(random.below(4), 4));
        insert.integer(6, quantity);
        insert.integer(7, order.buy ? quantity + 100 * random.below(100) : 100 * random.below(100));
        insert.text(8, securities[std::size_t(order.security)]);
        insert.text(9, hhmmss(daySecond(order.trading)));
        insert.text(10, hhmmss(daySecond(fill.trading)));
        insert.real(11, double(order.priceCents) / 100.0);
        insert.real(12, double(order.priceCents * quantity) / 100.0);
        insert.text(13, reffOf(fill.order + 1));
        insert.text(14, order.buy ? "B" : "S");
        insert.text(15, digits(1 + random.below(5), 5));
        // A few rows with a null in a filtered column; never in the
        // quantity and amount that the statistics add up.
        if (row % 997 == 13) {
            static const int filtered[] = {1, 8, 7, 14}; // gddm zqdm bcye bs
            insert.null(filtered[(row / 997) % 4]);
        }
        insert.run();
        ++row;
    }
}

// The confirmation of a row: status and remark.
struct Confirmation
{
    const char *status;
    std::string remark;
    std::int64_t cancelled; // qty2
};

Confirmation confirmationOf(const std::vector<Order> &day, const Order &order)
{
    switch (order.outcome) {
    case Outcome::Lost:
        return {"?", LostRemark, 0};
    case Outcome::FrontEnd:
        return {"E", FrontEndRejections[order.reject % FrontEndRejections.size()], 0};
    case Outcome::BackEnd:
        return {"F", BackEndRejections[order.reject % BackEndRejections.size()], 0};
    default:
        break;
    }
    if (order.kind == Cancel) {
        const Order &target = day[std::size_t(order.target)];
        if (target.filledLots >= target.lots)
            return {"F", FilledCancelRemark, 0};
        return {"W", "0", 100 * std::int64_t(target.lots - target.filledLots)};
    }
    // A market order's remainder is cancelled at once.
    const std::int64_t remainder = order.kind == Market ? 100 * std::int64_t(order.lots - order.filledLots) : 0;
    return {"O", "0", remainder};
}

void writeOrders(Database &db, Random &random, const std::vector<Order> &day, const std::vector<Account> &accounts,
                 const std::vector<std::string> &securities, const Options &options)
{
    Statement sent(db, "insert into ashare_ordwth (rec_num,date,time,reff,acc,stock,bs,price,qty,status,"
                       "owflag,ordrec,firmid,checkord) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    Statement received(db, "insert into ashare_ordwth2 (rec_num,date,time,reff,acc,stock,bs,price,qty,qty2,"
                           "status,remark,status1,owflag,ordrec,teordernum,firmid,checkord) "
                           "values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    std::int64_t confirmations = 0;
    for (std::size_t i = 0; i < day.size(); ++i) {
        const Order &order = day[i];
        const std::int64_t rec = std::int64_t(i) + 1;
        const bool cancel = order.kind == Cancel;
        // A cancel's own reff: new unless the options say it repeats the
        // cancelled order's (installations differ).
        const std::string reff = cancel && options.cancelReffRepeatsOrder ? reffOf(order.target + 1) : reffOf(rec);
        const std::string check = hex(random, 16);
        const std::string firm = digits(30000 + random.below(4), 5);
        const std::string priceText = price(order.priceCents);
        const std::string qty = std::to_string(100 * std::int64_t(order.lots));
        const std::string ordrec = cancel ? std::to_string(order.target + 1) : "0";
        const std::int64_t second = daySecond(order.trading);
        // A few rows with a null in a filtered column: acc stock bs price qty2.
        const int nullColumn = rec % 499 == 7 ? int((rec / 499) % 5) : -1;

        sent.integer(1, rec);
        sent.text(2, "20261208");
        sent.text(3, clock(second));
        sent.text(4, reff);
        sent.text(5, accounts[std::size_t(order.account)].code);
        sent.text(6, securities[std::size_t(order.security)]);
        sent.text(7, order.buy ? "B" : "S");
        sent.text(8, priceText);
        sent.text(9, qty);
        sent.text(10, order.outcome == Outcome::Waiting ? "R" : "P");
        sent.text(11, OwFlags[order.kind]);
        sent.text(12, ordrec);
        sent.text(13, firm);
        sent.text(14, check);
        if (nullColumn >= 0 && nullColumn < 4)
            sent.null(5 + nullColumn);
        sent.run();

        if (order.outcome == Outcome::Waiting || order.outcome == Outcome::Sent)
            continue;
        const Confirmation confirmation = confirmationOf(day, order);
        ++confirmations;
        received.integer(1, confirmations);
        received.text(2, "20261208");
        received.text(3, clock(second + random.below(3)));
        received.text(4, reff);
        received.text(5, accounts[std::size_t(order.account)].code);
        received.text(6, securities[std::size_t(order.security)]);
        received.text(7, order.buy ? "B" : "S");
        received.text(8, priceText);
        received.text(9, qty);
        received.text(10, std::to_string(confirmation.cancelled));
        received.text(11, confirmation.status);
        received.text(12, confirmation.remark);
        received.text(13, "Y");
        received.text(14, OwFlags[order.kind]);
        received.text(15, ordrec);
        if (std::string(confirmation.status) == "O" || std::string(confirmation.status) == "W")
            received.text(16, digits(10000000 + confirmations, 8));
        else
            received.null(16);
        received.text(17, firm);
        received.text(18, check);
        if (nullColumn >= 0 && nullColumn < 4)
            received.null(5 + nullColumn);
        else if (nullColumn == 4 && !cancel)
            received.null(10);
        received.run();
    }
}

} // namespace

void createSchema(const std::string &path)
{
    Database db(path);
    db.exec(Schema);
}

void createKeys(const std::string &path)
{
    Database db(path);
    db.exec("create index if not exists ashare_ordwth_rec_num on ashare_ordwth (rec_num);"
            "create index if not exists ashare_ordwth_reff on ashare_ordwth (reff);"
            "create index if not exists ashare_ordwth_ordrec on ashare_ordwth (ordrec);"
            "create index if not exists ashare_ordwth2_rec_num on ashare_ordwth2 (rec_num);"
            "create index if not exists ashare_ordwth2_reff on ashare_ordwth2 (reff);"
            "create index if not exists ashare_ordwth2_ordrec on ashare_ordwth2 (ordrec);"
            "create index if not exists ashare_cjhb_cjbh on ashare_cjhb (cjbh);"
            "create index if not exists ashare_cjhb_sqbh on ashare_cjhb (sqbh);");
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
    const std::int64_t orderRows = options.orderRows >= 0 ? options.orderRows : options.tradeRows / 2;
    // Without order rows the trades still come from a day of orders: the
    // order tables as the clearing command leaves them.
    const std::int64_t dayRows = orderRows > 0 ? orderRows : std::max<std::int64_t>(20, options.tradeRows / 2);
    std::vector<Order> day = makeDay(random, dayRows, std::int64_t(accounts.size()), std::int64_t(securities.size()));
    planFills(random, day, options.tradeRows);
    const std::vector<Fill> fills = makeFills(random, day, options.tradeRows);
    db.exec("begin");
    writeTrades(db, random, day, fills, accounts, securities);
    if (orderRows > 0)
        writeOrders(db, random, day, accounts, securities, options);
    db.exec("commit");
}

} // namespace gendata

#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Generates the three interface tables (ashare_cjhb, ashare_ordwth,
// ashare_ordwth2) in a SQLite file, linked as a trading day links them:
// - orders and cancels with consecutive rec_num and unique reff, "P" once the
//   gateway took them; the newest few still "R", a few "P" with nothing back;
// - one confirmation per other row, numbered in its own rec_num sequence,
//   with the row's reff: "O" with a teordernum, "F"/"E" with a return code in
//   remark, a rare "?"; a cancel (owflag "WTH", ordrec the cancelled order's
//   rec_num) confirmed "W" with qty2 the quantity left unfilled, or "F" 411
//   when the order had traded in full;
// - trades only of accepted orders, sqbh the order's reff, cjbh rising with
//   the trade time, fills adding up to at most the order's quantity.
// The same options give the same file.
namespace gendata {

struct Options
{
    std::int64_t tradeRows = 1000;  // rows of ashare_cjhb
    // Rows of ashare_ordwth; -1: half the trade rows. 0: the order tables
    // stay empty, as after clearing them, and the trades still belong to
    // the orders of a day.
    std::int64_t orderRows = -1;
    std::uint64_t seed = 1;
    // Whether a cancel carries the cancelled order's reff instead of one of
    // its own (installations differ; a confirmation is matched by reff
    // together with its kind either way).
    bool cancelReffRepeatsOrder = false;
};

class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Creates (or replaces) the database file and fills it. Throws Error.
void generate(const std::string &path, const Options &options);

// Creates the three tables, empty, in an existing or new database file.
void createSchema(const std::string &path);
// Indexes a production database has on the keys the monitor and the trace
// read by (rec_num, reff, ordrec of both order tables; cjbh, sqbh).
void createKeys(const std::string &path);

// Runs SQL statements on the file (for tests that add rows of their own).
void execute(const std::string &path, const std::string &sql);

} // namespace gendata

#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Generates the three interface tables (ashare_cjhb, ashare_ordwth,
// ashare_ordwth2) with realistic rows in a SQLite file.
namespace gendata {

struct Options
{
    std::int64_t tradeRows = 1000;  // rows of ashare_cjhb
    std::int64_t orderRows = -1;    // rows of each order table; -1: half the trade rows
    std::uint64_t seed = 1;
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

// Runs SQL statements on the file (for tests that add rows of their own).
void execute(const std::string &path, const std::string &sql);

} // namespace gendata

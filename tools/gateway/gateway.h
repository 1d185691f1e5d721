#pragma once

// A stand-in for both sides of the order-submission interface during a
// trading day, against any ODBC data source holding the three tables:
// - the broker side inserts orders and cancels into ashare_ordwth at a
//   steady rate, with consecutive rec_num and status "R";
// - the exchange side takes "R" rows in rec_num order, sets "P", writes the
//   confirmation into ashare_ordwth2 after a delay and the fills into
//   ashare_cjhb a little later.
// Faults are planted on demand, each once, at a given row, so that tests and
// the demo can show them. Every write is one statement, committed on its own.

#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class Connection;

namespace gateway {

// Where each fault is planted; 0 = not planted. Broker faults count the rows
// the broker inserted in this run (1 = its first row); exchange faults count
// the rows the exchange took, or the orders it accepted.
struct Faults
{
    std::int64_t stopTaking = 0;     // after N rows taken, no more are taken (they stay "R")
    std::int64_t stopConfirming = 0; // after N rows taken, the rest are taken but never confirmed
    std::int64_t rejectBurst = 0;    // from the N-th order taken, rejectCount orders rejected
    QString rejectCode = QStringLiteral("231");
    int rejectCount = 5;
    std::int64_t gap = 0;            // the N-th row inserted skips one rec_num
    std::int64_t repeatRecNum = 0;   // the N-th row inserted repeats the previous rec_num
    std::int64_t repeatReff = 0;     // the N-th row inserted is an order with an earlier order's reff
    std::int64_t cancelUnknown = 0;  // the N-th row inserted cancels a rec_num that is no order
    std::int64_t cancelNotLower = 0; // the N-th row inserted cancels its own rec_num
    std::int64_t unknownTrade = 0;   // on taking the N-th row, a trade for a reff no order has
    std::int64_t overfill = 0;       // the N-th order accepted gets one fill above its quantity
};

struct Options
{
    // Connection: a DSN with user, password and database to select (none:
    // the DSN's own), or a whole ODBC connection string.
    QString dsn;
    QString user;
    QString password;
    QString database;
    QString connectionString;

    bool broker = true;
    bool exchange = true;
    double rate = 20;          // rows per second the broker inserts
    int confirmDelayMs = 300;  // taking a row → its confirmation
    int fillDelayMs = 1000;    // confirmation → first fill; later fills half as far apart
    int pollMs = 100;          // how often the exchange looks for "R" rows
    double seconds = 0;        // run time; 0: until stopped
    std::int64_t rows = 0;     // rows the broker inserts (the exchange takes, alone); 0: no limit
    std::uint64_t seed = 1;
    int cancelPercent = 8;     // share of the broker's rows that cancel an earlier order
    int rejectPercent = 5;     // share of orders the exchange rejects with a code of its own
    // A cancel's own reff: new (assumed here), or the cancelled order's.
    bool cancelReffRepeatsOrder = false;
    // A rec_num out of sequence (gap or repeat) stops the exchange side, as
    // the gateway's own rule says; without this switch the row is rejected
    // "E" with return code 1021 and the rows after it are taken as usual.
    bool haltOnSequenceFault = false;
    QString date;              // YYYYMMDD of the rows; empty: today
    Faults faults;
};

// Parses the command line (without the program name). Gives the options, or
// an error text in `error`; `help` is set for --help.
std::optional<Options> parseArguments(const QStringList &arguments, QString *error, bool *help);
QString usage();

// The ODBC connection string the options name.
QString odbcConnectionString(const Options &options);

// Set from a signal handler: the run ends cleanly at the next step.
extern volatile std::sig_atomic_t stopRequested;

// Runs a trading day on the open connection until the options' time or row
// count is reached or stopRequested is set. Gives what it did as
// name/value pairs in a fixed order. Throws DatabaseError when the database
// keeps failing.
std::vector<std::pair<QString, QString>> run(Connection &connection, const Options &options);

} // namespace gateway

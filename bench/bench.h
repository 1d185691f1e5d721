#pragma once

// The benchmark program sqltool_bench: generates trade rows into a private
// SQLite file behind the DSN "bench", logs the data module in, and prints one
// "name: value" line per figure.
//
// Figures of other parts are added from their own source file, listed in
// sqltool_bench's sources in bench/CMakeLists.txt:
//
//     static bench::FigureGroup windowFigures(20, [](bench::Context &context) {
//         ...
//         bench::report("window_list_s", seconds);
//     });
//
// Groups run after the data-layer figures, by ascending order number, while
// every single instance exists and datamod->con is open on the generated file.

#include <QString>
#include <QWidget>

#include <functional>

namespace bench {

struct Context
{
    qint64 rows = 0;            // trade rows generated
    QString databasePath;       // the generated SQLite file
    QString dsn;                // its DSN, "bench"
    QString listStatement;      // the trade list statement timed below
    double rawFetchSeconds = 0; // the raw ODBC baseline of that statement
};

// Prints "name: value" (seconds and ratios with three decimals).
void report(const char *name, double value);
void report(const char *name, qint64 value);

// Seconds since construction.
class Stopwatch
{
public:
    Stopwatch();
    double seconds() const;

private:
    qint64 m_start;
};

// The query window's control with this objectName; ends the benchmark
// when there is none.
QWidget *queryControl(const char *name);
template <typename T>
T *queryControl(const char *name)
{
    return static_cast<T *>(queryControl(name));
}

class FigureGroup
{
public:
    FigureGroup(int order, std::function<void(Context &)> run);
};

} // namespace bench

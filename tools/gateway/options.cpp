// The gateway stand-in's command line.
#include "gateway.h"

#include <algorithm>
#include <map>

namespace gateway {

namespace {

const char *const UsageText = R"(usage: gateway [options]
Plays the broker's order program and the exchange's gateway against the
three interface tables of an ODBC data source, and prints what it did as
"name: value" lines when it ends (time, row count, SIGINT or SIGTERM).

Connection:
  --dsn NAME              ODBC data source name
  --user NAME             login (none: the DSN's own)
  --password TEXT         password
  --database NAME         database to select (none: the DSN's own)
  --connect STRING        a whole ODBC connection string instead of the above

Running:
  --broker-only           insert orders and cancels only
  --exchange-only         take rows, confirm and fill only
  --rate N                rows per second the broker inserts (default 20)
  --confirm-delay MS      taking a row to its confirmation (default 300)
  --fill-delay MS         confirmation to the first fill (default 1000)
  --poll MS               how often the exchange looks for "R" rows (default 100)
  --seconds S             stop after S seconds (default: run until stopped)
  --rows N                the broker inserts N rows (alone, the exchange takes
                          N rows), then the run ends once every row taken is
                          answered
  --seed N                the same seed gives the same rows (default 1)
  --cancel-percent N      share of the broker's rows that are cancels (default 8)
  --reject-percent N      share of orders the exchange rejects (default 5)
  --cancel-reff-repeats   a cancel carries the cancelled order's reff instead
                          of one of its own
  --halt-on-sequence-fault
                          a rec_num gap or repeat stops the exchange side (as
                          the gateway does); without it the row is rejected
                          "E" 1021 and the rows after it are taken
  --date YYYYMMDD         date of the rows (default: today)

Faults, each planted once; N counts rows of this run, from 1:
  --stop-taking N         the exchange takes N rows, then no more (rows stay "R")
  --stop-confirming N     the exchange confirms N rows, then takes rows ("P")
                          without answering them
  --reject-burst N[:CODE[:COUNT]]
                          from the N-th order taken, COUNT orders (default 5)
                          rejected with return code CODE (default 231)
  --gap N                 the broker's N-th row skips one rec_num
  --repeat-rec-num N      the broker's N-th row repeats the rec_num before it
  --repeat-reff N         the broker's N-th row is an order with the reff of
                          its latest order
  --cancel-unknown N      the broker's N-th row cancels a rec_num that is no
                          order (its latest cancel's, or 0)
  --cancel-not-lower N    the broker's N-th row cancels its own rec_num
  --unknown-trade N       on taking its N-th row the exchange writes a trade
                          whose sqbh is no order's reff
  --overfill N            the N-th order accepted gets one fill of its
                          quantity plus 100
)";

bool parseCount(const QString &text, std::int64_t *value)
{
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || n < 1)
        return false;
    *value = n;
    return true;
}

bool parseNumber(const QString &text, double low, double high, double *value)
{
    bool ok = false;
    const double n = text.toDouble(&ok);
    if (!ok || n < low || n > high)
        return false;
    *value = n;
    return true;
}

bool parseBurst(const QString &text, Faults *faults)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() > 3 || !parseCount(parts[0], &faults->rejectBurst))
        return false;
    if (parts.size() > 1) {
        const QString code = parts[1];
        if (code.size() < 3 || code.size() > 4 || !std::all_of(code.cbegin(), code.cend(), [](QChar c) { return c.isDigit(); }))
            return false;
        faults->rejectCode = code;
    }
    if (parts.size() > 2) {
        std::int64_t count = 0;
        if (!parseCount(parts[2], &count) || count > 100000)
            return false;
        faults->rejectCount = int(count);
    }
    return true;
}

} // namespace

QString usage()
{
    return QString::fromUtf8(UsageText);
}

std::optional<Options> parseArguments(const QStringList &arguments, QString *error, bool *help)
{
    Options options;
    Faults &faults = options.faults;
    *help = false;
    const std::map<QString, std::int64_t *> counts = {
        {QStringLiteral("--rows"), &options.rows},
        {QStringLiteral("--stop-taking"), &faults.stopTaking},
        {QStringLiteral("--stop-confirming"), &faults.stopConfirming},
        {QStringLiteral("--gap"), &faults.gap},
        {QStringLiteral("--repeat-rec-num"), &faults.repeatRecNum},
        {QStringLiteral("--repeat-reff"), &faults.repeatReff},
        {QStringLiteral("--cancel-unknown"), &faults.cancelUnknown},
        {QStringLiteral("--cancel-not-lower"), &faults.cancelNotLower},
        {QStringLiteral("--unknown-trade"), &faults.unknownTrade},
        {QStringLiteral("--overfill"), &faults.overfill}};
    const std::map<QString, QString *> texts = {
        {QStringLiteral("--dsn"), &options.dsn},       {QStringLiteral("--user"), &options.user},
        {QStringLiteral("--password"), &options.password}, {QStringLiteral("--database"), &options.database},
        {QStringLiteral("--connect"), &options.connectionString}, {QStringLiteral("--date"), &options.date}};
    const auto fail = [error](const QString &text) {
        *error = text;
        return std::optional<Options>();
    };
    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        bool hasValue = false;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
            hasValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size())
                return false;
            value = arguments[++i];
            return true;
        };
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            *help = true;
            return options;
        }
        if (name == QLatin1String("--broker-only")) {
            options.exchange = false;
        } else if (name == QLatin1String("--exchange-only")) {
            options.broker = false;
        } else if (name == QLatin1String("--cancel-reff-repeats")) {
            options.cancelReffRepeatsOrder = true;
        } else if (name == QLatin1String("--halt-on-sequence-fault")) {
            options.haltOnSequenceFault = true;
        } else if (const auto count = counts.find(name); count != counts.end()) {
            if (!takeValue() || !parseCount(value, count->second))
                return fail(name + QStringLiteral(" needs a whole number of at least 1"));
        } else if (const auto text = texts.find(name); text != texts.end()) {
            if (!takeValue())
                return fail(name + QStringLiteral(" needs a value"));
            *text->second = value;
        } else if (name == QLatin1String("--reject-burst")) {
            if (!takeValue() || !parseBurst(value, &faults))
                return fail(QStringLiteral("--reject-burst needs N[:CODE[:COUNT]], CODE of 3 or 4 digits"));
        } else if (name == QLatin1String("--rate") || name == QLatin1String("--seconds")) {
            double n = 0;
            if (!takeValue() || !parseNumber(value, 0.001, 1e6, &n))
                return fail(name + QStringLiteral(" needs a positive number"));
            (name == QLatin1String("--rate") ? options.rate : options.seconds) = n;
        } else if (name == QLatin1String("--confirm-delay") || name == QLatin1String("--fill-delay")
                   || name == QLatin1String("--poll") || name == QLatin1String("--cancel-percent")
                   || name == QLatin1String("--reject-percent")) {
            const bool percent = name.endsWith(QLatin1String("percent"));
            double n = 0;
            if (!takeValue() || !parseNumber(value, 0, percent ? 100 : 3600000, &n))
                return fail(name + (percent ? QStringLiteral(" needs 0 to 100") : QStringLiteral(" needs milliseconds")));
            int *target = name == QLatin1String("--confirm-delay") ? &options.confirmDelayMs
                : name == QLatin1String("--fill-delay")            ? &options.fillDelayMs
                : name == QLatin1String("--poll")                  ? &options.pollMs
                : name == QLatin1String("--cancel-percent")        ? &options.cancelPercent
                                                                   : &options.rejectPercent;
            *target = int(n);
        } else if (name == QLatin1String("--seed")) {
            bool ok = false;
            if (!takeValue() || (options.seed = value.toULongLong(&ok), !ok))
                return fail(QStringLiteral("--seed needs a whole number"));
        } else {
            return fail(QStringLiteral("unknown argument ") + arguments[i]);
        }
    }
    if (options.dsn.isEmpty() && options.connectionString.isEmpty())
        return fail(QStringLiteral("--dsn or --connect is needed"));
    if (!options.broker && !options.exchange)
        return fail(QStringLiteral("--broker-only and --exchange-only exclude each other"));
    if (options.pollMs < 1)
        options.pollMs = 1;
    if (!options.date.isEmpty()
        && (options.date.size() != 8 || !std::all_of(options.date.cbegin(), options.date.cend(), [](QChar c) { return c.isDigit(); })))
        return fail(QStringLiteral("--date needs YYYYMMDD"));
    // One broker fault per row: each is planted exactly once.
    std::map<std::int64_t, QString> rows;
    for (const auto &[flag, row] : {std::pair{"--gap", faults.gap}, {"--repeat-rec-num", faults.repeatRecNum},
                                    {"--repeat-reff", faults.repeatReff}, {"--cancel-unknown", faults.cancelUnknown},
                                    {"--cancel-not-lower", faults.cancelNotLower}}) {
        if (row == 0)
            continue;
        if (!rows.emplace(row, QString::fromLatin1(flag)).second)
            return fail(QStringLiteral("%1 and %2 name the same row").arg(rows[row], QString::fromLatin1(flag)));
    }
    if (faults.repeatRecNum == 1 || faults.repeatReff == 1)
        return fail(QStringLiteral("a repeat needs a row before it: N of at least 2"));
    return options;
}

} // namespace gateway

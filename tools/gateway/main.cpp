// The gateway stand-in: see gateway.h and --help.
#include "gateway.h"

#include "db/connection.h"
#include "db/odbc.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

extern "C" void requestStop(int)
{
    gateway::stopRequested = 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString error;
    bool help = false;
    const auto options = gateway::parseArguments(app.arguments().mid(1), &error, &help);
    if (help) {
        std::fputs(gateway::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!options) {
        std::fprintf(stderr, "gateway: %s\n%s", error.toLocal8Bit().constData(),
                     gateway::usage().toLocal8Bit().constData());
        return 2;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    try {
        Connection connection;
        auto link = Connection::connect(gateway::odbcConnectionString(*options));
        if (!options->database.isEmpty())
            Connection::selectDatabase(link->get(), options->database);
        connection.adopt(std::move(link), options->database);
        for (const auto &[name, value] : gateway::run(connection, *options))
            std::printf("%s: %s\n", name.toUtf8().constData(), value.toUtf8().constData());
        std::fflush(stdout);
    } catch (const DatabaseError &failure) {
        std::fprintf(stderr, "gateway: %s\n", failure.what());
        return 1;
    }
    return 0;
}

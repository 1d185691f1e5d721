// gendata [--cancel-reff-repeats] [--indexes] FILE [TRADE_ROWS [SEED [ORDER_ROWS]]]
#include "gendata.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void printUsage(std::FILE *to)
{
    std::fprintf(to, "usage: gendata [--cancel-reff-repeats] [--indexes] FILE [TRADE_ROWS [SEED [ORDER_ROWS]]]\n");
}

} // namespace

int main(int argc, char *argv[])
{
    gendata::Options options;
    bool indexes = false;
    for (;;) {
        const std::string flag = argc > 1 ? argv[1] : "";
        if (flag == "--cancel-reff-repeats")
            options.cancelReffRepeatsOrder = true;
        else if (flag == "--indexes")
            indexes = true; // the keys a production database has
        else if (flag == "--help" || flag == "-h") {
            printUsage(stdout);
            return 0;
        } else if (flag.size() > 1 && flag[0] == '-') {
            // Never taken as a file name: that would write a database called "--x".
            std::fprintf(stderr, "gendata: unknown option %s\n", flag.c_str());
            printUsage(stderr);
            return 2;
        } else
            break;
        --argc;
        ++argv;
    }
    if (argc < 2 || argc > 5) {
        printUsage(stderr);
        return 2;
    }
    try {
        if (argc > 2)
            options.tradeRows = std::stoll(argv[2]);
        if (argc > 3)
            options.seed = std::stoull(argv[3]);
        if (argc > 4)
            options.orderRows = std::stoll(argv[4]);
    } catch (const std::exception &) {
        std::fprintf(stderr, "row counts and seed must be whole numbers\n");
        return 2;
    }
    if (options.tradeRows < 0) {
        std::fprintf(stderr, "row count must not be negative\n");
        return 2;
    }
    try {
        gendata::generate(argv[1], options);
        if (indexes)
            gendata::createKeys(argv[1]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "gendata: %s\n", error.what());
        return 1;
    }
    return 0;
}

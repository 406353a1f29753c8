// The benchmarks in one run: every figure beside the floor measured in the
// same run, its goal, and whether it is met. Run by hand, never as a test:
//
//     build/bin/tallyon_bench [db] [model] [window] [results] [final] [server] [web] [journal] [cards]
//
// With no argument every part runs. The exit code is 0 when every goal is
// met. The program starts itself again for the figures measured in
// processes of their own (the stations, the run in a network namespace).

#include "bench/bench_support.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

const char* const kParts[] = {"db", "model", "window", "results", "final", "server", "web", "journal", "cards"};

int runChild(int argc, char** argv)
{
    try {
        if (std::strcmp(argv[1], "--station") == 0)
            return bench::stationChild(argc, argv);
        return bench::nextOnOwnServerChild(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tallyon_bench %s: %s\n", argv[1], error.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Small on purpose: it forks the program it measures.
    if (argc > 1 && std::strcmp(argv[1], "--peak-kb") == 0)
        return bench::peakKbChild(argc, argv);
    QApplication app(argc, argv);
    if (argc > 1 && (std::strcmp(argv[1], "--station") == 0 || std::strcmp(argv[1], "--next-on-own-server") == 0))
        return runChild(argc, argv);

    for (int i = 1; i < argc; ++i)
        if (std::find_if(std::begin(kParts), std::end(kParts), [&](const char* p) { return std::strcmp(p, argv[i]) == 0; })
            == std::end(kParts)) {
            std::fprintf(stderr, "usage: tallyon_bench [db] [model] [window] [results] [final] [server] [web] [journal] [cards]\n");
            return 2;
        }
    const auto wanted = [&](const char* part) {
        if (argc == 1)
            return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], part) == 0)
                return true;
        return false;
    };
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    bench::Table table;
    try {
        if (wanted("db"))
            bench::datasetLayerFigures(table);
        if (wanted("model"))
            bench::modelFigures(table);
        if (wanted("window"))
            bench::windowFigures(table, program);
        if (wanted("results"))
            bench::resultsFigures(table);
        if (wanted("final"))
            bench::finalFigures(table);
        if (wanted("server"))
            bench::serverFigures(table, program);
        if (wanted("web"))
            bench::webFigures(table, program);
        if (wanted("journal"))
            bench::journalAndHistoryFigures(table);
        if (wanted("cards"))
            bench::cardsFigures(table, program);
    } catch (const std::exception& error) {
        table.print();
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    std::printf("Medians unless said otherwise; every floor is measured in the same run.\n\n");
    table.print();
    return table.allMet() ? 0 : 1;
}

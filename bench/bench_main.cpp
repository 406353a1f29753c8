// The benchmarks in one run: every figure beside the floor measured in the
// same run, its goal, and whether it is met. Run by hand, never as a test:
//
//     build/bin/tallyon_bench [db] [model] [window]
//
// With no argument every part runs. The exit code is 0 when every goal is met.

#include "bench/bench_support.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return bench::windowMemoryChild(argc, argv);

    QApplication app(argc, argv);
    const auto wanted = [&](const char* part) {
        if (argc == 1)
            return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], part) == 0)
                return true;
        return false;
    };
    bench::Table table;
    try {
        if (wanted("db"))
            bench::datasetLayerFigures(table);
        if (wanted("model"))
            bench::modelFigures(table);
        if (wanted("window"))
            bench::windowFigures(table, QCoreApplication::applicationFilePath().toStdString());
    } catch (const std::exception& error) {
        table.print();
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    std::printf("Embedded Firebird, medians; the floor is measured in the same run.\n\n");
    table.print();
    return table.allMet() ? 0 : 1;
}

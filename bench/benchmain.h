#pragma once
// The main() of a benchmark program: Qt's application object on the
// offscreen platform (the pages, the sheet and the reports draw their texts
// with the window system's fonts), then every benchmark asked for.

#include <benchmark/benchmark.h>

#include <QApplication>

#define KALVOR_BENCHMARK_MAIN()                   \
  int main(int argc, char** argv) {               \
    qputenv("QT_QPA_PLATFORM", "offscreen");      \
    QApplication app(argc, argv);                 \
    benchmark::Initialize(&argc, argv);           \
    benchmark::RunSpecifiedBenchmarks();          \
    benchmark::Shutdown();                        \
    return 0;                                     \
  }

// Shared main for benchmarks that need widgets: a QApplication on the
// offscreen platform (unless another is chosen) around the benchmark run.
#pragma once
#include <QApplication>
#include <benchmark/benchmark.h>
#include <functional>

// atEnd runs before the application object goes, for widgets the
// benchmarks kept alive between runs.
inline int RunWidgetBenchmarks(int argc, char** argv, const std::function<void()>& atEnd = {})
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (atEnd)
        atEnd();
    return 0;
}

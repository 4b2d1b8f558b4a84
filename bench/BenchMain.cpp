// Runs the benchmarks (Google Benchmark's flags apply) with a widget application on the
// offscreen platform, and ends with two ratios of alerts per second: inbound/baseline at 100
// alerts per reply, and grid/qtableview; then the time of one full repaint of the alert grid.

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

namespace {

// The console report, remembering the alert rates the final line compares.
class TRatioReporter : public benchmark::ConsoleReporter
{
public:
    TRatioReporter()
        : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular)
    {
    }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const auto alerts = run.counters.find("alerts");
            if (run.error_occurred || alerts == run.counters.end())
                continue;
            if (run.benchmark_name() == "BM_Inbound/100")
                Inbound = alerts->second.value;
            else if (run.benchmark_name() == "BM_Baseline/100")
                Baseline = alerts->second.value;
            else if (run.benchmark_name() == "BM_GridInsert")
                Grid = alerts->second.value;
            else if (run.benchmark_name() == "BM_QTableViewInsert")
                Table = alerts->second.value;
        }
        for (const Run &run : runs)
            if (!run.error_occurred && run.benchmark_name() == "BM_GridRepaint")
                // CPU microseconds (the run's unit), as the alert rates are counted.
                RepaintUs = run.GetAdjustedCPUTime();
    }
    double Inbound = 0, Baseline = 0, Grid = 0, Table = 0, RepaintUs = 0;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // the same pictures, and figures, everywhere
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (reporter.Inbound > 0 && reporter.Baseline > 0)
        std::printf("inbound/baseline: %.2f\n", reporter.Inbound / reporter.Baseline);
    else
        std::printf("inbound/baseline: n/a (the 100-alert runs did not both run)\n");
    if (reporter.Grid > 0 && reporter.Table > 0)
        std::printf("grid/qtableview: %.2f\n", reporter.Grid / reporter.Table);
    else
        std::printf("grid/qtableview: n/a (the two window runs did not both run)\n");
    if (reporter.RepaintUs > 0)
        std::printf("grid/repaint-us: %.0f\n", reporter.RepaintUs);
    else
        std::printf("grid/repaint-us: n/a (the repaint run did not run)\n");
    return 0;
}

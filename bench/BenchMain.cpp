// Runs the benchmarks (Google Benchmark's flags apply) with a Qt application object for the
// session, and ends with the inbound/baseline ratio of alerts per second at 100 alerts per reply.

#include <QCoreApplication>
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
        }
    }
    double Inbound = 0, Baseline = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
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
    return 0;
}

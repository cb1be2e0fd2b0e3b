// Reading a settings file whose arrays hold many values. The cost per value must not grow with
// the array: the run fails when a value of a 200,000-value array costs more than twice what a
// value of a 10,000-value array costs.

#include "platform/PropertyList.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

void BM_ReadSettings(benchmark::State& state)
{
    const auto values = static_cast<qsizetype>(state.range(0));
    QVariantList windows;
    for (qsizetype i = 0; i < values; ++i) {
        windows.append(QStringLiteral("com.example.app%1").arg(i % 50));
    }
    const auto bytes = platform::plist::writeBinary({{QStringLiteral("hiddenWindowIDs"), windows}});
    if (!bytes) {
        state.SkipWithError("the settings could not be written");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::plist::readDictionary(*bytes));
    }
    state.counters["perValue"] = benchmark::Counter(
        double(values), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadSettings)->Arg(10'000)->Arg(200'000)->Unit(benchmark::kMillisecond);

class PerValueReporter final : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> perValue;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const auto counter = run.counters.find("perValue");
            if (counter != run.counters.end()) {
                perValue[run.benchmark_name()] = counter->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    PerValueReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto small = reporter.perValue.find("BM_ReadSettings/10000");
    const auto large = reporter.perValue.find("BM_ReadSettings/200000");
    if (small == reporter.perValue.end() || large == reporter.perValue.end()) {
        return 0; // a filtered run: nothing to compare
    }
    const double ratio = large->second / small->second;
    std::printf("a value of 200,000 costs %.2fx what a value of 10,000 costs (target: at most 2.00x)\n",
                ratio);
    return ratio <= 2.0 ? 0 : 1;
}

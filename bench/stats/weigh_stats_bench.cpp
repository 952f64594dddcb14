// Benchmark of CWeighStats::Compute over the longest series a chart is expected to see.
#include <benchmark/benchmark.h>

#include <vector>

#include "weigh_stats.h"

namespace {

// Weights scattered around 500 by a fixed linear congruential sequence, so every run sees the same series.
std::vector<double> Series(int count)
{
    std::vector<double> values;
    values.reserve(static_cast<size_t>(count));
    unsigned nState = 12345u;
    for (int i = 0; i < count; ++i) {
        nState = nState * 1103515245u + 12345u;
        values.push_back(490.0 + static_cast<double>((nState >> 16) % 21u));
    }
    return values;
}

void BM_Compute(benchmark::State& state)
{
    const std::vector<double> values = Series(static_cast<int>(state.range(0)));
    CWeighStats chart;
    for (auto _ : state) {
        const bool bValid = chart.Compute(values.data(), static_cast<int>(values.size()), 500);
        benchmark::DoNotOptimize(bValid);
        benchmark::DoNotOptimize(chart.m_aCurve);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

// 11,388 is the goal's series length; 10 and 1000 show the fixed cost of the two tables.
BENCHMARK(BM_Compute)->Arg(10)->Arg(1000)->Arg(11388)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

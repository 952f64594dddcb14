// Benchmark of one full chart panel drawing on the Qt canvas surface, and on the recording surface for scale.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QSize>

#include <vector>

#include "canvas_surface.h"
#include "chart_rects.h"
#include "recording_surface.h"
#include "weigh_chart.h"

namespace {

// Twenty sample dots and the whole curve inside the panel: the most a panel ever draws.
CWeighChart FullChart()
{
    std::vector<double> values;
    for (int i = 0; i < 40; ++i)
        values.push_back(495.0 + (i * 7) % 11);
    CWeighChart chart;
    chart.Compute(values.data(), static_cast<int>(values.size()), 500);
    return chart;
}

void BM_DrawCanvas(benchmark::State& state)
{
    const CWeighChart chart = FullChart();
    CCanvasSurface surface(QSize(780, 400));
    const CChartRect rc = g_rcChartAll;
    for (auto _ : state) {
        chart.Draw(surface, rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom);
        benchmark::ClobberMemory();
    }
}

void BM_DrawRecording(benchmark::State& state)
{
    const CWeighChart chart = FullChart();
    const CChartRect rc = g_rcChartAll;
    for (auto _ : state) {
        CRecordingSurface surface;
        chart.Draw(surface, rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom);
        benchmark::DoNotOptimize(surface.m_aCalls.data());
    }
}

}  // namespace

BENCHMARK(BM_DrawCanvas)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawRecording)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    // Text on an image needs the font database of a GUI application; offscreen unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

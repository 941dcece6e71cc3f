// Speed of the three reductions on noise, at the sizes a thumbnail run meets:
// a photograph decoded at 1/8 brought to a 200-pixel thumbnail by area
// average or by interpolation, and a full-size picture divided by 3 or by 2.
// Each through both of its entries: the whole raster (ReduitMoyenne,
// ReduitBilineaire, ReduitFacteur) and its rows fed one at a time to the row
// reducer, as the streamed decode does, in colour and in grey.

#include "imaging/anti_alias.h"
#include "imaging/bilinear.h"
#include "imaging/bitmap24.h"
#include "imaging/row_reducer.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using tamblure::imaging::Bitmap24;
using tamblure::imaging::ReductionPlan;

Bitmap24 noise(std::int32_t width, std::int32_t height)
{
    Bitmap24 b = tamblure::imaging::makeRaster24(width, height);
    std::mt19937 rng(1);
    for (std::size_t i = 0; i < b.pixelBytes(); ++i)
        b.pixels()[i] = static_cast<std::uint8_t>(rng());
    return b;
}

void setPixelCounters(benchmark::State& state, const Bitmap24& source)
{
    state.SetItemsProcessed(state.iterations() * std::int64_t{source.width()} * source.height());
}

void reduitMoyenne750x500To200x133(benchmark::State& state)
{
    const Bitmap24 source = noise(750, 500);
    Bitmap24 dest = tamblure::imaging::makeRaster24(200, 133);
    for (auto _ : state) {
        tamblure::imaging::ReduitMoyenne(source, dest);
        benchmark::DoNotOptimize(dest.pixels());
        benchmark::ClobberMemory();
    }
    setPixelCounters(state, source);
}
BENCHMARK(reduitMoyenne750x500To200x133)->Unit(benchmark::kMicrosecond);

void reduitBilineaire399x300To200x150(benchmark::State& state)
{
    const Bitmap24 source = noise(399, 300);
    Bitmap24 dest = tamblure::imaging::makeRaster24(200, 150);
    for (auto _ : state) {
        tamblure::imaging::ReduitBilineaire(source, dest);
        benchmark::DoNotOptimize(dest.pixels());
        benchmark::ClobberMemory();
    }
    setPixelCounters(state, source);
}
BENCHMARK(reduitBilineaire399x300To200x150)->Unit(benchmark::kMicrosecond);

void reduitFacteur(benchmark::State& state, std::int32_t factor)
{
    const Bitmap24 source = noise(6000, 4000);
    Bitmap24 dest = tamblure::imaging::makeRaster24(6000 / factor, 4000 / factor);
    for (auto _ : state) {
        tamblure::imaging::ReduitFacteur(source, dest, factor);
        benchmark::DoNotOptimize(dest.pixels());
        benchmark::ClobberMemory();
    }
    setPixelCounters(state, source);
}
BENCHMARK_CAPTURE(reduitFacteur, 3On6000x4000, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reduitFacteur, 2On6000x4000, 2)->Unit(benchmark::kMillisecond);

// The same reductions fed row by row (range(0): 3 for blue, green, red rows,
// 1 for grey ones).
void streamed(benchmark::State& state, std::int32_t width, std::int32_t height, const ReductionPlan& plan)
{
    const auto channels = static_cast<int>(state.range(0));
    const auto rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(height));
    std::mt19937 rng(1);
    for (std::uint8_t& byte : rows)
        byte = static_cast<std::uint8_t>(rng());
    for (auto _ : state) {
        auto reducer = tamblure::imaging::makeRowReducer(plan, width, height, channels);
        for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y)
            reducer->addRow(rows.data() + y * rowBytes);
        Bitmap24 small = reducer->finish();
        benchmark::DoNotOptimize(small.pixels());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{width} * height);
}
BENCHMARK_CAPTURE(streamed, area750x500To200x133, 750, 500, ReductionPlan::toSize(200, 133))
    ->Arg(3)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(streamed, bilinear399x300To200x150, 399, 300, ReductionPlan::toSize(200, 150))
    ->Arg(3)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(streamed, factor3On6000x4000, 6000, 4000, ReductionPlan::byFactor(3))
    ->Arg(3)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(streamed, factor2On6000x4000, 6000, 4000, ReductionPlan::byFactor(2))
    ->Arg(3)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

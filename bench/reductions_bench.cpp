// Speed of the three reductions on noise, at the sizes a thumbnail run meets:
// a photograph decoded at 1/8 brought to a 200-pixel thumbnail by area
// average or by interpolation, and a full-size picture divided by 3.

#include "imaging/anti_alias.h"
#include "imaging/bilinear.h"
#include "imaging/bitmap24.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

namespace {

using tamblure::imaging::Bitmap24;

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

void reduitFacteur3On6000x4000(benchmark::State& state)
{
    const Bitmap24 source = noise(6000, 4000);
    Bitmap24 dest = tamblure::imaging::makeRaster24(2000, 1333);
    for (auto _ : state) {
        tamblure::imaging::ReduitFacteur(source, dest, 3);
        benchmark::DoNotOptimize(dest.pixels());
        benchmark::ClobberMemory();
    }
    setPixelCounters(state, source);
}
BENCHMARK(reduitFacteur3On6000x4000)->Unit(benchmark::kMillisecond);

} // namespace

// Time to lay out the key table, for small, ideal and largest keyboards.
#include <benchmark/benchmark.h>

#include <cstring>

#include "keyboard/layout.h"

namespace {

void BM_LayOutKeys(benchmark::State& state)
{
    ToolStateBlock block;
    memset(&block, 0, sizeof block);
    block.octaves = static_cast<int32_t>(state.range(0));
    // The ideal size of the count: 32 pixels per octave by 20.
    const InnerRect inner = {2, 2, 32 * block.octaves - 2, 18};
    for (auto _ : state) {
        LayOutKeys(&block, inner);
        benchmark::DoNotOptimize(block.keys);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (block.lastKey + 1));
}

}  // namespace

BENCHMARK(BM_LayOutKeys)->Arg(1)->Arg(3)->Arg(7);

// Drawing a 20-line block of wrapped text into a 400 x 400 target: creating the context,
// selecting the font, laying out and drawing the lines, and the flush to the target. Glyphs are
// cached after the first round, as they are in the program.
#include "drawing/DrawDC.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

void BM_DrawTextBlock(benchmark::State& state, const char* face, int points)
{
    KRDC_Startup("...", 0, 0);
    std::vector<uint8_t> pixels(400 * 400 * 4);
    plat::Surface target{pixels.data(), 400, 400, 400 * 4};
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "Line " + std::to_string(i + 1) + ": the news, the weather and the sport.\n";
    int height = 0;
    for (auto _ : state) {
        CDrawDC* dc = KRDC_CreateDC(nullptr, &target, false);
        dc->SelectFontByName(face, points, false, false, false);
        height = dc->DrawTextWrapped(4, 4, text, 0x202020, 392, 0, -1);
        KRDC_DestroyDC(dc);
    }
    CDrawDC* dc = KRDC_CreateDC(nullptr, nullptr, false);
    dc->SelectFontByName(face, points, false, false, false);
    if (height < 20 * dc->GetLineHeight())
        state.SkipWithError("fewer than 20 lines");
    KRDC_DestroyDC(dc);
    KRDC_Shutdown();
}

BENCHMARK_CAPTURE(BM_DrawTextBlock, anti_aliased_14px, "DejaVu Sans", 11)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DrawTextBlock, one_bit_12px, "DejaVu Sans", 9)->Unit(benchmark::kMicrosecond);

}  // namespace

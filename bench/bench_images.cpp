// Decoding 512 x 512 pictures: PNG with alpha, GIF (256 colours), JPEG (colour, quality 95).
#include "images/Image.h"
#include "tests/images/Fixtures.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kSide = 512;

void Decode(benchmark::State& state, const Bytes& data)
{
    for (auto _ : state) {
        CImage image;
        CImageReader reader(data.data(), data.size());
        if (!image.Load(reader))
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(image.GetFrameCount());
    }
    state.counters["file_bytes"] = static_cast<double>(data.size());
}

void BM_DecodePng(benchmark::State& state)
{
    Decode(state, MakePng(Pattern(kSide, kSide, true)));
}

void BM_DecodeGif(benchmark::State& state)
{
    std::vector<uint32_t> table(256);
    for (uint32_t i = 0; i < 256; ++i)
        table[i] = i << 16 | (255 - i) << 8 | (i * 7 & 0xFF);
    GifImage picture{0, 0, kSide, kSide, std::vector<uint8_t>(kSide * kSide), {}, true, 10, -1};
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            picture.indexes[static_cast<size_t>(y) * kSide + x] = static_cast<uint8_t>((x / 16) ^ (y / 16) ^ (x * y / 4096));
    Decode(state, MakeGif(kSide, kSide, table, {picture}));
}

void BM_DecodeJpeg(benchmark::State& state)
{
    Decode(state, MakeJpeg(Pattern(kSide, kSide, false), 3));
}

BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeGif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);

}  // namespace

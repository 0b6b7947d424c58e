// The decoding chain on generated images held in memory: bytes and blocks, realistic and
// pathological, the vector path, the portable word machine and the tick-by-tick reference.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_tapes.h"
#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "support/reference_decoder.h"

namespace {

using namespace r38;

const std::vector<std::uint8_t>& realistic(std::uint64_t mib) {
  static const auto image = bench::tape_in_memory(false, 16 << 20, 1);
  static const auto small = bench::tape_in_memory(false, 1 << 20, 1);
  return mib == 16 ? image : small;
}

const std::vector<std::uint8_t>& pathological(std::uint64_t mib) {
  static const auto image = bench::tape_in_memory(true, 16 << 20, 2);
  static const auto small = bench::tape_in_memory(true, 1 << 20, 2);
  return mib == 16 ? image : small;
}

template <typename Decoder, typename... Path>
void decode_bytes(benchmark::State& state, const std::vector<std::uint8_t>& image, Path... path) {
  for (auto _ : state) {
    ImageReader reader(image.data(), image.size());
    reader.skip(IMAGE_DATA_OFFSET);
    Decoder decoder(reader, PHASE_NORMAL, path...);
    long bytes = 0;
    while (decoder.read_byte() != END_OF_INPUT) ++bytes;
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}

void BM_ReadByteRealistic(benchmark::State& state) {
  decode_bytes<TapeDecoder>(state, realistic(16), DecodePath::AUTOMATIC);
}
// The same from an image small enough to stay in the cache, as the reader's buffer does.
void BM_ReadByteRealisticCached(benchmark::State& state) {
  decode_bytes<TapeDecoder>(state, realistic(1), DecodePath::AUTOMATIC);
}
void BM_ReadByteRealisticPortable(benchmark::State& state) {
  decode_bytes<TapeDecoder>(state, realistic(16), DecodePath::PORTABLE);
}
void BM_ReadByteRealisticReference(benchmark::State& state) {
  decode_bytes<test::ReferenceDecoder>(state, realistic(1));
}
void BM_ReadBytePathological(benchmark::State& state) {
  decode_bytes<TapeDecoder>(state, pathological(16), DecodePath::AUTOMATIC);
}
void BM_ReadBytePathologicalPortable(benchmark::State& state) {
  decode_bytes<TapeDecoder>(state, pathological(16), DecodePath::PORTABLE);
}
void BM_ReadBytePathologicalReference(benchmark::State& state) {
  decode_bytes<test::ReferenceDecoder>(state, pathological(1));
}

void BM_ReadBlockRealistic(benchmark::State& state) {
  const auto& image = realistic(16);
  BlockBuffer buffer;
  for (auto _ : state) {
    ImageReader reader(image.data(), image.size());
    reader.skip(IMAGE_DATA_OFFSET);
    TapeDecoder decoder(reader, PHASE_NORMAL);
    int type = 0;
    long blocks = 0;
    while (decoder.read_block(buffer, type) != END_OF_INPUT) ++blocks;
    benchmark::DoNotOptimize(blocks);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}

BENCHMARK(BM_ReadByteRealistic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadByteRealisticCached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadByteRealisticPortable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadByteRealisticReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBlockRealistic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBytePathological)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBytePathologicalPortable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBytePathologicalReference)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

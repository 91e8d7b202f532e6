// Hashing a 1 GiB firmware image as the check before every flash does (the
// file held open, read in 1 MiB chunks, SHA-256 from the platform), and the
// same bytes hashed from memory, which tells the reads from the hashing.
// Reports bytes per second. The file is written once, before the runs, so it
// is read from the page cache: the figure is the program's, not the disk's.
//
//   hash_bench [benchmark flags]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/hash_file.h"
#include "platform/sha256.h"

namespace {

constexpr std::uint64_t kImageBytes = 1ull << 30;

const ScratchImage& Image() {
  static const ScratchImage image(kImageBytes);
  return image;
}

void BM_Sha256OfImageFile(benchmark::State& state) {
  const ScratchImage& image = Image();
  HashImage(image.path());  // the first read fills the page cache
  for (auto _ : state)
    benchmark::DoNotOptimize(HashImage(image.path()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_Sha256OfImageFile)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Sha256InMemory(benchmark::State& state) {
  const std::vector<unsigned char> bytes(kSha256ChunkSize, 0x5A);
  for (auto _ : state) {
    Sha256 hash;
    for (int i = 0; i < 64; ++i)
      hash.Add(bytes.data(), bytes.size());
    Sha256Digest digest{};
    hash.Finish(&digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 64 * bytes.size()));
}
BENCHMARK(BM_Sha256InMemory)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

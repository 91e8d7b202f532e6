// The hashing benchmark where Google Benchmark is not at hand (the Windows
// build, run under Wine): the same 1 GiB image hashed the same way, timed
// with the steady clock, the median of the runs printed in MB/s.
//
//   hash_timing [MiB (default 1024)] [runs (default 5)]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/hash_file.h"

int main(int argc, char** argv) {
  const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (mebibytes == 0 || runs <= 0) {
    std::fprintf(stderr, "usage: hash_timing [MiB] [runs]\n");
    return 2;
  }
  const ScratchImage image(mebibytes << 20);
  const std::string digest = HashImage(image.path());  // fills the page cache
  std::vector<double> rates;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    if (HashImage(image.path()) != digest) {
      std::fprintf(stderr, "hash_timing: the digest changed between runs\n");
      return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rates.push_back(static_cast<double>(image.size()) / 1e6 / took.count());
  }
  std::sort(rates.begin(), rates.end());
  std::printf("SHA-256 of a %llu MiB image file: median %.0f MB/s over %d runs (%.0f to %.0f)\n",
              static_cast<unsigned long long>(mebibytes), rates[rates.size() / 2], runs,
              rates.front(), rates.back());
  return 0;
}

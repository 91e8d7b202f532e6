#include "bench/hash_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "files/named_file.h"
#include "platform/sha256.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "hash benchmark: %s\n", what.c_str());
  std::exit(1);
}

}  // namespace

ScratchImage::ScratchImage(std::uint64_t bytes) : size_(bytes) {
  path_ = Utf8OfPath(std::filesystem::temp_directory_path() / "zentavor-hash-bench.bin");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenNamedFile(path_.c_str(), "wb"),
                                                       std::fclose);
  if (!file)
    Fail("cannot create " + path_);
  std::mt19937_64 random(20261208);
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  for (std::uint64_t written = 0; written < bytes;) {
    for (std::uint64_t& word : block)
      word = random();
    const std::size_t size =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes - written, block.size() * 8));
    if (std::fwrite(block.data(), 1, size, file.get()) != size)
      Fail("cannot write " + path_);
    written += size;
  }
}

ScratchImage::~ScratchImage() {
  RemoveNamedFile(path_.c_str());
}

std::string HashImage(const std::string& path) {
  std::string why;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenNamedFileHeld(path.c_str(), &why),
                                                       std::fclose);
  Sha256Digest digest{};
  if (!file || !Sha256OfFile(file.get(), &digest, &why))
    Fail(path + ": " + why);
  return HexText(digest);
}

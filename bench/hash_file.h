/// The firmware-image hashing benchmarks' shared parts: a large stand-in
/// image in the temporary directory, and one hash of it through the very code a
/// run uses before it flashes (OpenNamedFileHeld, then Sha256OfFile).
#pragma once

#include <cstdint>
#include <string>

// A file of pseudo-random bytes, written once and removed when this goes.
class ScratchImage {
 public:
  explicit ScratchImage(std::uint64_t bytes);
  ~ScratchImage();
  ScratchImage(const ScratchImage&) = delete;
  ScratchImage& operator=(const ScratchImage&) = delete;

  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }

 private:
  std::string path_;
  std::uint64_t size_;
};

// The digest of the file as the check before a flash computes it; ends the
// program with a message when the file cannot be hashed.
std::string HashImage(const std::string& path);

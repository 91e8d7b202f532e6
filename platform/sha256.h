/// SHA-256 by the platform's own cryptography: CNG (bcrypt.dll of the system
/// directory) on Windows, OpenSSL's libcrypto on POSIX. The program ships no
/// hash code of its own: the platform's is maintained, reviewed and, where the
/// administrator has asked for it, FIPS-validated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

using Sha256Digest = std::array<std::uint8_t, 32>;

// The bytes a file is read in: large enough that the read calls cost nothing
// beside the hashing, small enough that an image of any size never has to fit
// in memory.
inline constexpr std::size_t kSha256ChunkSize = 1024 * 1024;

// One digest computed over bytes given in any number of pieces.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // false once the platform failed (also when it offers no SHA-256 at all);
  // every later call then fails too.
  bool Add(const void* data, std::size_t size);
  // The digest of everything added; the object is spent afterwards.
  bool Finish(Sha256Digest* digest);

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// The digest of everything left to read in file, read in chunks of
// kSha256ChunkSize. False, with why set to a short reason, when a read or the
// platform failed.
bool Sha256OfFile(std::FILE* file, Sha256Digest* digest, std::string* why);

// The digest as 64 lower-case hexadecimal digits.
std::string HexText(const Sha256Digest& digest);

// The digest a text of exactly 64 hexadecimal digits (either letter case)
// spells; false for any other text.
bool ParseSha256(std::string_view text, Sha256Digest* digest);

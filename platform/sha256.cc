#include "platform/sha256.h"

#include <vector>

#include "base/ascii.h"

bool Sha256OfFile(std::FILE* file, Sha256Digest* digest, std::string* why) {
  Sha256 hash;
  std::vector<unsigned char> chunk(kSha256ChunkSize);
  while (true) {
    const std::size_t read = std::fread(chunk.data(), 1, chunk.size(), file);
    if (read > 0 && !hash.Add(chunk.data(), read)) {
      *why = "the system's SHA-256 failed";
      return false;
    }
    if (read < chunk.size())
      break;
  }
  if (std::ferror(file)) {
    *why = "read error";
    return false;
  }
  if (!hash.Finish(digest)) {
    *why = "the system's SHA-256 failed";
    return false;
  }
  return true;
}

std::string HexText(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

bool ParseSha256(std::string_view text, Sha256Digest* digest) {
  if (text.size() != 2 * digest->size())
    return false;
  Sha256Digest parsed{};
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    const int high = HexDigitValue(text[2 * i]);
    const int low = HexDigitValue(text[2 * i + 1]);
    if (high < 0 || low < 0)
      return false;
    parsed[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  *digest = parsed;
  return true;
}

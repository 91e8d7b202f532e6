#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <string>

#include "files/named_file.h"
#include "platform/atomic_file.h"
#include "ui/test_support.h"

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File Held(const std::string& path, std::string* why) {
  return File(OpenNamedFileHeld(path.c_str(), why), std::fclose);
}

std::string DigestOf(const std::string& bytes) {
  Sha256 hash;
  Sha256Digest digest{};
  EXPECT_TRUE(hash.Add(bytes.data(), bytes.size()));
  EXPECT_TRUE(hash.Finish(&digest));
  return HexText(digest);
}

std::string FileDigest(const std::string& path) {
  std::string why;
  const File file = Held(path, &why);
  Sha256Digest digest{};
  if (!file || !Sha256OfFile(file.get(), &digest, &why))
    return "failed: " + why;
  return HexText(digest);
}

// The test vectors of FIPS 180-2, appendix B.
const struct {
  std::string message;
  const char* digest;
} kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256Test, StandardVectorsInOnePieceInManyAndFromAFile) {
  TempDir dir;
  for (const auto& vector : kVectors) {
    SCOPED_TRACE(vector.message.size());
    EXPECT_EQ(DigestOf(vector.message), vector.digest);
    // Pieces of every size from 1 up, as a reader that gets short reads adds them.
    Sha256 hash;
    std::size_t offset = 0;
    for (std::size_t piece = 1; offset < vector.message.size(); ++piece) {
      const std::size_t size = std::min(piece, vector.message.size() - offset);
      ASSERT_TRUE(hash.Add(vector.message.data() + offset, size));
      offset += size;
    }
    Sha256Digest digest{};
    ASSERT_TRUE(hash.Finish(&digest));
    EXPECT_EQ(HexText(digest), vector.digest);

    WriteBinaryFile(dir.File("image.bin"), vector.message);
    EXPECT_EQ(FileDigest(dir.File("image.bin")), vector.digest);
  }
}

TEST(Sha256Test, FileIsReadWholeAcrossChunkBoundaries) {
  TempDir dir;
  for (const std::size_t size : {kSha256ChunkSize, 2 * kSha256ChunkSize + 1}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
      bytes[i] = static_cast<char>(i * 7 + i / 4096);
    WriteBinaryFile(dir.File("image.bin"), bytes);
    EXPECT_EQ(FileDigest(dir.File("image.bin")), DigestOf(bytes)) << size;
    // The last byte counts.
    bytes.back() ^= 1;
    EXPECT_NE(FileDigest(dir.File("image.bin")), DigestOf(bytes)) << size;
  }
}

TEST(Sha256Test, DigestTextIs64HexDigitsInEitherCase) {
  Sha256Digest lower{};
  Sha256Digest upper{};
  ASSERT_TRUE(ParseSha256(kVectors[1].digest, &lower));
  std::string shouted = kVectors[1].digest;
  for (char& c : shouted)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(ParseSha256(shouted, &upper));
  EXPECT_EQ(lower, upper);
  EXPECT_EQ(HexText(upper), kVectors[1].digest);

  const std::string good = kVectors[1].digest;
  for (const std::string& bad :
       {good.substr(1), good + "0", good.substr(0, 63) + "g", " " + good.substr(1),
        good.substr(0, 32) + "-" + good.substr(33), "0x" + good.substr(2), std::string()}) {
    Sha256Digest digest = lower;
    EXPECT_FALSE(ParseSha256(bad, &digest)) << bad;
    EXPECT_EQ(digest, lower) << "a refused text changed the digest";
  }
}

TEST(HeldFileTest, OnlyARegularFileIsOpenedAndTheReasonIsGiven) {
  TempDir dir;
  std::string why;
  EXPECT_FALSE(Held(dir.File("missing.bin"), &why));
  EXPECT_EQ(why, "no such file");
  EXPECT_FALSE(Held(dir.path(), &why));
  EXPECT_EQ(why, "not a regular file");
  WriteBinaryFile(dir.File("image.bin"), "abc");
  why.clear();
  EXPECT_TRUE(Held(dir.File("image.bin"), &why));
  EXPECT_EQ(why, "");
}

#ifdef _WIN32
// Between the hash and the end of the flash nobody may change the bytes: the
// held image can be read, but neither written, replaced nor deleted.
TEST(HeldFileTest, WindowsKeepsTheFileAsItWasWhileItIsHeld) {
  TempDir dir;
  const std::string path = dir.File("image.bin");
  WriteBinaryFile(path, "abc");
  std::string why;
  {
    const File held = Held(path, &why);
    ASSERT_TRUE(held) << why;
    const File reader(OpenNamedFile(path.c_str(), "rb"), std::fclose);
    EXPECT_TRUE(reader);
    EXPECT_FALSE(File(OpenNamedFile(path.c_str(), "r+b"), std::fclose));
    EXPECT_FALSE(File(OpenNamedFile(path.c_str(), "ab"), std::fclose));
    EXPECT_FALSE(RemoveNamedFile(path.c_str()));
    unsigned long error = 0;
    EXPECT_FALSE(WriteFileAtomically(path, "xyz", &error));
    std::error_code renamed;
    std::filesystem::rename(PathOfUtf8(path), PathOfUtf8(dir.File("moved.bin")), renamed);
    EXPECT_TRUE(renamed);
    Sha256Digest digest{};
    ASSERT_TRUE(Sha256OfFile(held.get(), &digest, &why)) << why;
    EXPECT_EQ(HexText(digest), kVectors[1].digest);
  }
  // Let go, the file is the administrator's again.
  EXPECT_TRUE(RemoveNamedFile(path.c_str()));
}
#endif

}  // namespace

#include "files/same_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "files/named_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// A fresh folder, made the current directory while the test runs, as the
// program runs in the firmware package folder.
class SameFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zentavor-files-" + std::to_string(std::random_device()()) +
                                        "-\xC5\x81\xC3\xB3\x64\xC5\xBA");
    dir_ = PathOfUtf8(Utf8OfPath(dir_));
    fs::create_directories(dir_);
    saved_ = fs::current_path();
    fs::current_path(dir_);
    Make("NICFWData.xml");
    Make("p3p_r\xC3\xB6m.bin");
  }
  void TearDown() override {
    fs::current_path(saved_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  void Make(const std::string& name) { std::ofstream(PathOfUtf8(name)) << "x"; }
  std::string Absolute(const std::string& name) const {
    return Utf8OfPath(dir_ / PathOfUtf8(name));
  }

  fs::path dir_;
  fs::path saved_;
};

TEST_F(SameFileTest, EverySpellingOfAFileIsThatFile) {
  struct Case {
    std::string a, b;
    bool same;
  };
  const Case cases[] = {
      {"NICFWData.xml", "NICFWData.xml", true},
      {"NICFWData.xml", "./NICFWData.xml", true},
      {"NICFWData.xml", Absolute("NICFWData.xml"), true},
      {"NICFWData.xml", "sub/../NICFWData.xml", true},
      {"p3p_r\xC3\xB6m.bin", Absolute("p3p_r\xC3\xB6m.bin"), true},
      {"NICFWData.xml", "p3p_r\xC3\xB6m.bin", false},
      // Files that do not exist yet are named by where they would be made.
      {"result.json", "./result.json", true},
      {"result.json", Absolute("result.json"), true},
      {"result.json", "other.json", false},
      {"NICFWData.xml", "NICFWData.xml.json", false},
      {"", "", false},
      {"NICFWData.xml", "", false},
      // Letter case, decorations the name rules drop, and stream names count
      // only where the file system reads them so.
      {"NICFWDATA.XML", "NICFWData.xml", kWindows},
      {"P3P_R\xC3\x96M.BIN", "p3p_r\xC3\xB6m.bin", kWindows},
      {"NICFWData.xml.", "NICFWData.xml", kWindows},
      {"NICFWData.xml  ", "NICFWData.xml", kWindows},
      {"NICFWData.xml::$DATA", "NICFWData.xml", kWindows},
      {"NEW.JSON", "new.json", kWindows},
      {"\\\\?\\" + Absolute("NICFWData.xml"), "NICFWData.xml", kWindows},
  };
  fs::create_directories("sub");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " | " + c.b);
    EXPECT_EQ(SameFile(c.a, c.b), c.same);
    EXPECT_EQ(SameFile(c.b, c.a), c.same);
  }
}

TEST_F(SameFileTest, LinksReachTheFileTheyNameWhateverTheirName) {
  fs::create_hard_link("NICFWData.xml", "copy.xml");
  EXPECT_TRUE(SameFile("copy.xml", "NICFWData.xml"));
  if (!kWindows) {
    fs::create_symlink(Absolute("NICFWData.xml"), "link.xml");
    EXPECT_TRUE(SameFile("link.xml", "NICFWData.xml"));
    fs::create_directory_symlink(dir_, "folder");
    EXPECT_TRUE(SameFile("folder/new.json", "new.json"));
  }
}

TEST_F(SameFileTest, OnlyNothingOrARegularFileMayBeReplaced) {
  fs::create_directories("folder");
  EXPECT_EQ(StandingOfNamedFile("absent.json"), NamedFileStanding::kAbsent);
  EXPECT_EQ(StandingOfNamedFile("NICFWData.xml"), NamedFileStanding::kRegularFile);
  EXPECT_EQ(StandingOfNamedFile("folder"), NamedFileStanding::kSomethingElse);
  if (kWindows) {
    EXPECT_EQ(StandingOfNamedFile("NUL"), NamedFileStanding::kSomethingElse);
  } else {
    EXPECT_EQ(StandingOfNamedFile("/dev/null"), NamedFileStanding::kSomethingElse);
    fs::create_symlink("NICFWData.xml", "link.xml");
    fs::create_symlink("absent", "dangling.xml");
    EXPECT_EQ(StandingOfNamedFile("link.xml"), NamedFileStanding::kSomethingElse);
    EXPECT_EQ(StandingOfNamedFile("dangling.xml"), NamedFileStanding::kSomethingElse);
  }
}

TEST_F(SameFileTest, WritingNeverFollowsALinkNorWaitsAtAPipe) {
  if (kWindows)
    GTEST_SKIP() << "links and pipes of the file system are POSIX matters";
  fs::create_symlink("NICFWData.xml", "link.xml");
  EXPECT_EQ(OpenNamedFile("link.xml", "wb"), nullptr);
#ifndef _WIN32
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  EXPECT_EQ(OpenNamedFile("pipe", "wb"), nullptr);
#endif
  std::FILE* file = OpenNamedFile("NICFWData.xml", "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(fs::file_size("NICFWData.xml"), 0u);
}

}  // namespace

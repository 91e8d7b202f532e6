#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/test_support.h"
#include "base/run_flags.h"
#include "platform/file_system.h"

namespace {

class CommandLineTest : public AppTest {
 protected:
  bool Parse(std::vector<std::string> args) {
    arguments_ = Arguments(std::move(args));
    return ParseCommandLine(arguments_.argc(), arguments_.argv());
  }
  bool Valid(std::vector<std::string> args) {
    return Parse(std::move(args)) && CheckOptionCompatibility();
  }
  Arguments arguments_{std::vector<std::string>{}};
};

TEST_F(CommandLineTest, EachOptionSetsItsBitWhateverItsLetterCase) {
  const struct {
    const char* arg;
    std::uint32_t bit;
  } cases[] = {
      {"-c", RUN_SHOW_INSTALLED},
      {"-debug", RUN_DEBUG},
      {"-Debug", RUN_DEBUG},
      {"/DEBUG", RUN_DEBUG},
      {"-e", RUN_REWRITE},
      {"-REWRITE", RUN_REWRITE},
      {"-f", RUN_FORCE},
      {"-g", RUN_DOWNGRADE},
      {"-downgrade", RUN_DOWNGRADE},
      {"-n", RUN_CHECK_ONLY},
      {"-QL", RUN_VERSION_FILE},
      {"-S", RUN_SILENT},
      {"/s", RUN_SILENT},
      {"-y", RUN_ASSUME_DEFAULT},
      {"-version", 0},
      {"/VERSION", 0},
  };
  for (const auto& c : cases) {
    RunFlags = 0;
    EXPECT_TRUE(Parse({c.arg})) << c.arg;
    EXPECT_EQ(RunFlags, c.bit) << c.arg;
  }
}

TEST_F(CommandLineTest, SlashIsRewrittenInPlaceOnlyForArgumentsThatWereRead) {
  ASSERT_TRUE(Parse({"/s", "/no_overwrite"}));
  EXPECT_EQ(arguments_[1], "-s");
  EXPECT_EQ(arguments_[2], "-no_overwrite");

  // The file argument is taken verbatim, and parsing stops at the first refusal.
  EXPECT_FALSE(Parse({"-d", "/report.xml", "/x", "/y"}));
  EXPECT_EQ(arguments_[2], "/report.xml");
  EXPECT_EQ(arguments_[3], "-x");
  EXPECT_EQ(arguments_[4], "/y");
  EXPECT_EQ((RunFlags & RUN_ASSUME_DEFAULT), 0u);
}

TEST_F(CommandLineTest, HelpAndUnknownArgumentsAreRefusedKeepingEarlierBits) {
  for (const char* arg :
       {"-h", "?", "-help", "-HELP", "/h", "/?", "-?", "-x", "", "s", "-ss", "--s", "-jso"}) {
    RunFlags = 0;
    EXPECT_FALSE(Parse({"-s", arg, "-y"})) << '"' << arg << '"';
    EXPECT_EQ(RunFlags, RUN_SILENT) << '"' << arg << '"';
  }
}

TEST_F(CommandLineTest, NoOverwriteIsACaseSensitiveSubstringWithNoEffect) {
  EXPECT_TRUE(Parse({"-no_overwrite", "--no_overwrite", "x-no_overwrite=1"}));
  EXPECT_EQ(RunFlags, 0u);
  EXPECT_FALSE(Parse({"-NO_OVERWRITE"}));
}

TEST_F(CommandLineTest, FileOptionsTakeTheNextArgumentWhateverItLooksLike) {
  ASSERT_TRUE(Parse({"-d", "-s"}));
  EXPECT_EQ(RunFlags, RUN_WRITE_REPORT);
  EXPECT_STREQ(ReportPathBuffer, "-s");

  RunFlags = 0;
  ASSERT_TRUE(Parse({"-d", "-h"}));
  EXPECT_STREQ(ReportPathBuffer, "-h");

  RunFlags = 0;
  ASSERT_TRUE(Parse({"-u", "a.xml", "-ql", "-V", "b.xml"}));
  EXPECT_EQ(RunFlags, RUN_READ_REPORT | RUN_VERSION_FILE | RUN_VERIFY_FILE);
  EXPECT_STREQ(ReportPathBuffer, "b.xml");
}

TEST_F(CommandLineTest, FileOptionWithoutFileIsRefused) {
  for (const char* option : {"-d", "-u", "-v", "/D", "-json", "-port"}) {
    RunFlags = 0;
    EXPECT_FALSE(Parse({"-s", option})) << option;
    EXPECT_EQ(RunFlags, RUN_SILENT) << option;
  }
}

TEST_F(CommandLineTest, FileNameThatDoesNotFitTheReportPathIsRefusedNotCut) {
  const std::string longest(kPathBufferSize - 1, 'a');
  ASSERT_TRUE(Parse({"-u", longest}));
  EXPECT_EQ(std::string(ReportPathBuffer), longest);

  RunFlags = 0;
  ASSERT_TRUE(Parse({"-d", "kept.xml"}));
  RunFlags = 0;
  EXPECT_FALSE(Parse({"-d", std::string(kPathBufferSize, 'b')}));
  EXPECT_EQ(RunFlags, 0u);
  EXPECT_STREQ(ReportPathBuffer, "kept.xml");
  EXPECT_FALSE(Parse({"-v", std::string(100000, 'c')}));
  // The result file and a port take their word as it stands, within the same limit.
  EXPECT_TRUE(Parse({"-json", longest, "-port", longest}));
  EXPECT_FALSE(Parse({"-json", std::string(kPathBufferSize, 'd')}));
  EXPECT_FALSE(Parse({"-port", std::string(kPathBufferSize, 'e')}));
  EXPECT_STREQ(ReportPathBuffer, "kept.xml");
}

TEST_F(CommandLineTest, PathLengthIsCountedInUtf16UnitsAsWindowsCountsIt) {
  auto repeat = [](const std::string& character, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
      text += character;
    return text;
  };
  const std::string cjk = "\xE6\x8A\xA5";        // three bytes, one unit
  const std::string emoji = "\xF0\x9F\x98\x80";  // four bytes, two units
  const std::string longest = repeat(cjk, kPathBufferSize - 1);
  ASSERT_TRUE(Parse({"-d", longest}));
  EXPECT_EQ(std::string(ReportPathBuffer), longest);  // all 777 bytes, none cut
  EXPECT_FALSE(Parse({"-d", repeat(cjk, kPathBufferSize)}));
  EXPECT_TRUE(Parse({"-json", repeat(emoji, (kPathBufferSize - 1) / 2)}));
  EXPECT_FALSE(Parse({"-json", repeat(emoji, kPathBufferSize / 2)}));
  // A byte that is not UTF-8 is one unit, as the ANSI code page reads it.
  EXPECT_TRUE(Parse({"-v", std::string(kPathBufferSize - 1, '\xF6')}));
  EXPECT_FALSE(Parse({"-v", std::string(kPathBufferSize, '\xF6')}));
}

// Every path an option names is kept off the run's own files (the package,
// the discovery file, the log, the locks) and off the other option's path,
// whatever its spelling; nothing else is refused.
TEST_F(CommandLineTest, OptionPathsNeverNameAFileOfTheRunNorEachOther) {
  CurrentDirectory here(scratch_);
  std::ofstream(scratch_ / "NICFWData.xml")
      << "<nic_fw_package><nic><nic venid=\"1\" fwFile=\"p3p_rom.bin\"/>"
         "<nic venid=\"2\" fwFile=\"other_rom.bin\"/></nic></nic_fw_package>";
  std::ofstream(scratch_ / "p3p_rom.bin") << "rom";
  const std::string temp = (scratch_ / "temp").string();
  std::filesystem::create_directories(temp);
  ScopedEnvironment tempVariable(TempDirectoryVariable(), temp);
  ScopedEnvironment lockDirectory("ZENTAVOR_LOCK_DIR", (scratch_ / "run").string());
  const std::string log = LogFileOfThisMachine();
  const std::string vendorLock = temp + PathSeparator() + "netxen_lock_file";
  const struct {
    std::vector<std::string> args;
    bool safe;
  } cases[] = {
      {{"-n", "-json", "result.json"}, true},
      {{"-d", "report.xml", "-json", "result.json"}, true},
      {{"-ql", "-v", "NICFWData.json"}, true},
      {{"-json", "NICFWData.xml"}, false},
      {{"-json", "./NICFWData.xml"}, false},
      {{"-json", "tempNicList.xml"}, false},
      {{"-d", "p3p_rom.bin"}, false},
      {{"-d", "sub/../p3p_rom.bin"}, false},
      {{"-u", "other_rom.bin"}, false},  // every kind's image, not only the one flashed
      {{"-ql", "-v", "NICFWData.xml"}, false},
      {{"-json", log}, false},
      {{"-json", vendorLock}, false},
      {{"-d", "same.xml", "-json", "same.xml"}, false},
      {{"-u", "report.xml", "-json", "./report.xml"}, false},
      {{"-ql", "-v", "v.xml", "-json", "v.xml"}, false},
      {{"-json", ""}, false},
      {{"-d", ""}, false},
  };
  for (const auto& c : cases) {
    Arguments arguments(c.args);
    const EarlyOptions early = ScanEarlyOptions(arguments.argc(), arguments.argv());
    EXPECT_EQ(CheckOptionPaths(early), c.safe) << ::testing::PrintToString(c.args);
  }
  // The single-instance lock is a file on POSIX only; there it is one of the run's.
  if (const std::string lock = InstanceLockFile(); !lock.empty()) {
    Arguments arguments({"-json", lock});
    EXPECT_FALSE(CheckOptionPaths(ScanEarlyOptions(arguments.argc(), arguments.argv())));
  }
}

TEST_F(CommandLineTest, EarlyLookFindsHelpVersionAndFilesByTheParsersRules) {
  const struct {
    std::vector<std::string> args;
    bool help, version;
    const char* resultFile;
    const char* versionFile;
  } cases[] = {
      {{"-s", "-h"}, true, false, "", ""},
      {{"/?"}, true, false, "", ""},
      {{"-d", "-h", "-VERSION"}, false, true, "", ""},
      {{"-json", "a.json", "/json", "b.json", "-ql", "-v", "v.xml"},
       false,
       false,
       "b.json",
       "v.xml"},
      {{"-port", "-version", "-json"}, false, false, "", ""},
      {{"-v", "-json", "x"}, false, false, "", "-json"},
  };
  for (const auto& c : cases) {
    Arguments arguments(c.args);
    const EarlyOptions early = ScanEarlyOptions(arguments.argc(), arguments.argv());
    const std::string name = ::testing::PrintToString(c.args);
    EXPECT_EQ(early.help, c.help) << name;
    EXPECT_EQ(early.version, c.version) << name;
    EXPECT_EQ(early.resultFile, c.resultFile) << name;
    EXPECT_EQ(early.VersionFile(), c.versionFile) << name;
    // Nothing is rewritten before start-up.
    EXPECT_EQ(arguments[1], c.args[0]) << name;
  }
}

TEST_F(CommandLineTest, EmptyCommandLineIsTheDefaultRun) {
  EXPECT_TRUE(Valid({}));
  EXPECT_EQ(RunFlags, 0u);
}

TEST_F(CommandLineTest, RefusedCombinations) {
  const std::vector<std::vector<std::string>> refused = {
      {"-s", "-y"},
      {"-e", "-f"},
      {"-f", "-g"},
      {"-n", "-s"},
      {"-c", "-debug", "-s"},
      {"-c", "-n"},
      {"-d", "r", "-v", "v"},
      {"-d", "r", "-u", "u"},
      {"-d", "r", "-y"},
      {"-u", "r", "-v", "v"},
      {"-u", "r", "-e"},
      {"-ql", "-f"},
      {"-v", "v", "-y"},
      {"-n", "-y"},
      {"-ql", "-v", "v", "-y"},
      {"-d", "r", "-port", "p"},
      {"-u", "r", "-port", "p"},
      {"-ql", "-port", "p"},
      {"-v", "v", "-port", "p"},
  };
  for (const auto& args : refused) {
    RunFlags = 0;
    EXPECT_FALSE(Valid(args)) << ::testing::PrintToString(args);
  }
}

TEST_F(CommandLineTest, AcceptedCombinations) {
  const std::vector<std::vector<std::string>> accepted = {
      {"-e", "-g", "-s"},
      {"-f", "-y"},
      {"-u", "r", "-ql", "-y"},
      {"-c", "-debug"},
      {"-d", "r", "-s"},
      {"-v", "v", "-s"},
      {"-e", "-g", "-y"},
      {"-n", "-debug"},
      {"-f", "-s", "-no_overwrite"},
      {"-ql", "-v", "v", "-s"},
      {"-s", "-s"},
      {"-port", "03:00.0", "-s", "-e", "-g"},
      {"-port", "p", "-n"},
      {"-c", "-port", "p"},
      {"-y", "-f", "-port", "p", "-port", "q"},
      {"-c", "-json", "r.json"},
      {"-ql", "-v", "v", "-json", "r.json"},
  };
  for (const auto& args : accepted) {
    RunFlags = 0;
    EXPECT_TRUE(Valid(args)) << ::testing::PrintToString(args);
  }
}

TEST_F(CommandLineTest, OutcomeBitsNeverMakeOptionsIncompatible) {
  RunFlags = RUN_CHECK_ONLY | RUN_CANCELLED | RUN_UPDATE_AVAILABLE | RUN_SAME_VERSION |
             RUN_OLDER_AVAILABLE | RUN_UPDATE_FAILED | RUN_UPDATED | RUN_SKIP_DEVICE | RUN_DEBUG;
  EXPECT_TRUE(CheckOptionCompatibility());
}

constexpr const char kUsageBody[] =
    "[-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n"
    "With no options, interactively upgrade firmware.\n"
    "-c  Display currently installed firmware information.\n"
    "-d <filename>  Generate XML discovery report to <filename>.\n"
    "-e  Enable re-write if the current firmware is the same, and upgrade if the current "
    "firmware is older.\n"
    "-f  Force all firmware changes to occur.\n"
    "-g  Enable downgrade if the current firmware is newer, and upgrade if the current firmware "
    "is older.\n"
    "-h  Display this help menu.\n"
    "-s  Silently (non-interactively) upgrade firmware. \n"
    "-u <filename>  Read XML discovery report from <filename> and perform firmware upgrade.\n"
    "-y  Assume default repsonse for all prompts.\n";

TEST_F(CommandLineTest, UsageTextNamesTheProgramWithoutDirectoryOrExtension) {
  const std::string sep(1, PathSeparator());
  std::string path = "tools.d" + sep + "bin" + sep + "flash.exe";
  ShowUsage(path.data());
  EXPECT_EQ(Log(), std::string("USAGE: flash ") + kUsageBody);
  // The name was cut in the caller's string itself.
  EXPECT_STREQ(path.c_str(), ("tools.d" + sep + "bin" + sep + "flash").c_str());
}

TEST_F(CommandLineTest, UsageTextProgramNameEdgeCases) {
  const std::string sep(1, PathSeparator());
  const struct {
    std::string path;
    std::string name;
  } cases[] = {
      {"zentavor", "zentavor"},
      {"zentavor.exe", "zentavor"},
      {"." + sep + "zentavor", "zentavor"},  // the full stop lies in the directory part
      {"a.b" + sep + "zentavor", "zentavor"},
      {"dir" + sep + "z.v.exe", "z.v"},
      {"dir" + sep, ""},
      {std::string(5000, 'd') + sep + std::string(5000, 'n') + ".exe", std::string(5000, 'n')},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    const std::size_t before = Log().size();
    ShowUsage(path.data());
    const std::string written = Log().substr(before);
    EXPECT_EQ(written.substr(0, written.find('[')), "USAGE: " + c.name + " ") << c.path.size();
  }
  const std::size_t before = Log().size();
  ShowUsage(nullptr);
  EXPECT_EQ(Log().substr(before), std::string("USAGE:  ") + kUsageBody);
}

}  // namespace

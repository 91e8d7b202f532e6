// The option parser on an argument vector split from the bytes at every zero
// byte (the first piece is the program path): ParseCommandLine, then, as the
// entry point does, CheckOptionCompatibility, and the usage text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/zentavor.h"
#include "base/run_flags.h"
#include "fuzz/product_fuzz_support.h"
#include "fuzz/xml_fuzz_support.h"
#include "ui/user_interface.h"

namespace {

constexpr std::uint32_t kOptionBits = RUN_DEBUG | RUN_SHOW_INSTALLED | RUN_WRITE_REPORT |
                                      RUN_REWRITE | RUN_FORCE | RUN_DOWNGRADE | RUN_CHECK_ONLY |
                                      RUN_VERSION_FILE | RUN_SILENT | RUN_READ_REPORT |
                                      RUN_VERIFY_FILE | RUN_ASSUME_DEFAULT;

std::vector<std::string> SplitAtZeros(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> pieces(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      pieces.emplace_back();
    } else {
      pieces.back() += static_cast<char>(data[i]);
    }
  }
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitializeProductFuzzing(false);
  // The usage text goes to the log only, which goes nowhere.
  TheUserInterface().Configure(true, false, false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ResetProductState();
  std::vector<std::string> arguments = SplitAtZeros(data, size);
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(arguments.size());

  const bool parsed = ParseCommandLine(argc, argv.data());
  FuzzCheck((RunFlags & ~kOptionBits) == 0, "an outcome bit set by the parser");
  FuzzCheck(std::memchr(ReportPathBuffer, 0, kPathBufferBytes) != nullptr,
            "the report path is not terminated");
  const bool fileOption = (RunFlags & (RUN_WRITE_REPORT | RUN_READ_REPORT | RUN_VERIFY_FILE)) != 0;
  FuzzCheck(fileOption || ReportPathBuffer[0] == '\0', "a report path without its option");
  if (parsed && CheckOptionCompatibility())
    SelectRunMode(RunFlags);
  // Whatever the options, the program path is shortened in place for the usage text.
  ShowUsage(argv[0]);
  return 0;
}

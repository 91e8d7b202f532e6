#include "fuzz/product_fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/run_flags.h"
#include "fuzz/xml_fuzz_support.h"
#include "inventory/nic_record.h"
#include "ui/user_interface.h"

namespace {

std::string scratchDirectory;

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(scratchDirectory, ignored);
}

}  // namespace

void InitializeProductFuzzing(bool debug) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/zentavor-fuzz.XXXXXX";
  FuzzCheck(mkdtemp(pattern.data()) != nullptr, "cannot create the scratch directory");
  scratchDirectory = pattern;
  std::atexit(RemoveScratch);
  // The log goes nowhere: millions of inputs would fill any file, and what the
  // readers say is checked by their unit tests; here they only have to format it.
  auto* ui = new UserInterface("/dev/null", 121, 65);
  ui->Configure(false, debug, false);
  InstallUserInterface(ui);
}

InScratchDirectory::InScratchDirectory() : previous_(open(".", O_RDONLY | O_DIRECTORY)) {
  FuzzCheck(previous_ >= 0 && chdir(scratchDirectory.c_str()) == 0,
            "cannot enter the scratch directory");
}

InScratchDirectory::~InScratchDirectory() {
  FuzzCheck(fchdir(previous_) == 0, "cannot go back from the scratch directory");
  close(previous_);
}

void ResetProductState() {
  ResetInventoryForTesting();
  RunFlags = 0;
  ReportPathBuffer[0] = '\0';
}

void WriteScratchFile(const char* name, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(name, "wb");
  FuzzCheck(file != nullptr, "cannot write the scratch file");
  FuzzCheck(size == 0 || std::fwrite(data, 1, size, file) == size, "short write");
  FuzzCheck(std::fclose(file) == 0, "cannot close the scratch file");
}

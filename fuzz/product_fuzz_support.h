/// What the fuzz targets of the product's readers share: a scratch working
/// directory (the readers look for their files in the current directory), the
/// one user interface with its log sent nowhere, and the process-wide run state
/// put back to its start values before every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Once per process: makes the scratch directory and installs a user interface
// logging to the null device. debug turns on the debug channel.
void InitializeProductFuzzing(bool debug);

// The scratch directory is the current one while the object lives. Only then:
// libFuzzer reads its inputs by paths relative to the directory it started in.
class InScratchDirectory {
 public:
  InScratchDirectory();
  ~InScratchDirectory();
  InScratchDirectory(const InScratchDirectory&) = delete;
  InScratchDirectory& operator=(const InScratchDirectory&) = delete;

 private:
  int previous_;
};

// Empties the inventory, the package table and the image name, clears RunFlags
// and the report path: the state of a process that has just started.
void ResetProductState();

// Replaces the file name in the current directory with the bytes.
void WriteScratchFile(const char* name, const std::uint8_t* data, std::size_t size);

/// Whether a path given on the command line names one of the firmware
/// package's own files (the descriptor, the image it names, the discovery
/// file), which no file this program writes may replace.
#pragma once

// Compared as the platform compares file names: letter case ignored on
// Windows, and another spelling of the same file's path counts too. Reads the
// image's name from the descriptor quietly, so it works before start-up.
bool NamesPackageFile(const char* path);

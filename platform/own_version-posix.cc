#include <cstdio>

#include "platform/own_version.h"
#include "zentavor_version.h"

// A POSIX executable has no version resource: the version is compiled in
// from the same build configuration that feeds the Windows resource.
void GetOwnFileVersion(char* buffer, std::size_t size) {
  if (size == 0)
    return;
  std::snprintf(buffer, size, "%d.%d.%d.%d", ZENTAVOR_VERSION_MAJOR, ZENTAVOR_VERSION_MINOR,
                ZENTAVOR_VERSION_PATCH, ZENTAVOR_VERSION_TWEAK);
}

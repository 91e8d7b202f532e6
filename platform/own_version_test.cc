#include "platform/own_version.h"

#include <gtest/gtest.h>

#include "zentavor_version.h"

namespace {

// On Windows this reads the version resource linked into this test binary
// through the real resource calls; on POSIX the compiled-in version.
TEST(OwnVersionTest, IsTheConfiguredVersion) {
  char version[256] = "garbage";
  GetOwnFileVersion(version, sizeof version);
  EXPECT_STREQ(version, "4.0.0.1");
  EXPECT_STREQ(version, ZENTAVOR_VERSION_TEXT);
}

}  // namespace

/// A boot-ROM firmware version: loosely parsed from text ("v4.0.555",
/// "NCSI 4.0.555", ...), printed in dotted form and ordered component by
/// component.
#pragma once

#include <cstdint>

// The leading decimal number of text as the C runtime's atoi reads it (blanks,
// an optional sign, digits up to the first non-digit; 0 when there are none),
// except that a value beyond the signed 32-bit range saturates at INT32_MAX or
// INT32_MIN, the values the Windows runtime gives, instead of being undefined.
std::int32_t ReadLeadingDecimal(const char* text);

// How much of a version text Parse takes into the value. Parse drops a leading
// word, "NCSI" and "v" or "c" prefixes and reads three dotted numbers; parts after
// the third are never read and play no part. Any other loss means the value says
// less than the text, and ordering it against another version could make newer
// firmware look older. Ordered from the mildest loss to the worst.
enum class VersionReading {
  kWhole,
  kBlanksSkipped,  // blanks inside the numbers, stepped over
  kWordDropped,    // letters or signs where a number should stand
  kDigitsLeftOut,  // digits in the text that the value does not hold
};

// The reading of text by Parse; kWhole for a null or empty text, which Parse leaves alone.
VersionReading ReadingOf(const char* text);
// Why a text is not read whole, in words for the log.
const char* ReadingReason(VersionReading reading);

class FirmwareVersion {
 public:
  FirmwareVersion() = default;
  FirmwareVersion(const FirmwareVersion& other) = default;
  // Copies the value only when it compares unequal (see Compare); an equal
  // source leaves this version, cached text included, untouched.
  FirmwareVersion& operator=(const FirmwareVersion& other);

  // Updates the value from text; null or empty text changes nothing.
  void Parse(const char* text);
  // Refreshes and returns the cached dotted text ("%d.%d.%d" or "%d.%d").
  const char* Text();
  // +1, 0 or -1 with this version on the left; the right side's hasBuild is not consulted.
  int Compare(const FirmwareVersion& other) const;

  bool operator==(const FirmwareVersion& other) const { return Compare(other) == 0; }
  bool operator!=(const FirmwareVersion& other) const { return Compare(other) != 0; }
  bool operator<(const FirmwareVersion& other) const { return Compare(other) == -1; }

  std::uint32_t major() const { return major_; }
  std::uint32_t minor() const { return minor_; }
  std::uint32_t build() const { return build_; }
  bool hasBuild() const { return hasBuild_; }
  const char* cachedText() const { return text_; }

 private:
  char text_[64] = {};
  std::uint32_t major_ = 0;
  std::uint32_t minor_ = 0;
  std::uint32_t build_ = 0;
  bool hasBuild_ = false;
};

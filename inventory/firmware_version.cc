#include "inventory/firmware_version.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "ui/user_interface.h"

namespace {

// Version texts longer than this are cut; nothing meaningful lives that far in.
constexpr std::size_t kParseBufferSize = 256;

bool IsAtoiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Drops everything up to and including the last occurrence of marker, so that
// decorations such as "v" or "c" in front of the numbers fall away.
const char* SkipPastLast(const char* cursor, char marker) {
  while (*cursor != '\0') {
    const char* found = std::strchr(cursor, marker);
    if (found == nullptr)
      break;
    cursor = found + 1;
  }
  return cursor;
}

// Where the numbers start: a leading word ("Version 4.0.555", "NCSI 4.0.555") is
// dropped together with the blanks that follow it, then an "NCSI" tag, then
// everything up to the last "v" and after that up to the last "c".
const char* SkipDecorations(const char* text) {
  const char* cursor = std::strchr(text, ' ');
  if (cursor != nullptr) {
    while (*cursor == ' ')
      ++cursor;
  } else {
    cursor = text;
  }
  if (std::strncmp(cursor, "NCSI", 4) == 0)
    cursor += 4;
  cursor = SkipPastLast(cursor, 'v');
  return SkipPastLast(cursor, 'c');
}

// One dotted part of the numbers: from begin up to the next "." or the end.
struct Part {
  const char* begin;
  const char* end;
};

// The first three parts, as a tokenizer splits at ".": runs of dots are one
// separator, so no part is empty. Returns how many there are.
std::size_t SplitParts(const char* numbers, Part (&parts)[3]) {
  std::size_t count = 0;
  const char* token = numbers;
  while (count < 3) {
    while (*token == '.')
      ++token;
    if (*token == '\0')
      break;
    const char* end = token;
    while (*end != '\0' && *end != '.')
      ++end;
    parts[count++] = {token, end};
    token = end;
  }
  return count;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool HoldsDigit(const char* begin, const char* end) {
  return std::find_if(begin, end, IsDigit) != end;
}

// Whether a run of digits stands for more than a signed 32-bit value holds.
bool ExceedsInt32(std::string_view digits) {
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
  return digits.size() > 10 || (digits.size() == 10 && digits > "2147483647");
}

VersionReading Worse(VersionReading a, VersionReading b) {
  return a > b ? a : b;
}

// What reading one part as a number loses: atoi steps over blanks, takes a sign,
// stops at the first character that is not a digit, and the value saturates.
VersionReading ReadingOfPart(const Part& part) {
  const char* cursor = part.begin;
  VersionReading reading = VersionReading::kWhole;
  if (IsAtoiSpace(*cursor)) {
    reading = VersionReading::kBlanksSkipped;
    while (cursor < part.end && IsAtoiSpace(*cursor))
      ++cursor;
  }
  if (cursor < part.end && (*cursor == '+' || *cursor == '-')) {
    reading = VersionReading::kWordDropped;
    ++cursor;
  }
  const char* digits = cursor;
  while (cursor < part.end && IsDigit(*cursor))
    ++cursor;
  if (cursor == digits || cursor != part.end) {
    return HoldsDigit(cursor, part.end) ? VersionReading::kDigitsLeftOut
                                        : VersionReading::kWordDropped;
  }
  if (ExceedsInt32(std::string_view(digits, static_cast<std::size_t>(cursor - digits))))
    return VersionReading::kDigitsLeftOut;  // the value saturates
  return reading;
}

int AsSigned(std::uint32_t value) {
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t ReadLeadingDecimal(const char* text) {
  if (text == nullptr)
    return 0;
  while (IsAtoiSpace(*text))
    ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = *text == '-';
    ++text;
  }
  // Accumulate in 64 bits and stop at the limit, so that an absurdly long run of
  // digits neither overflows nor depends on the platform's atoi.
  constexpr std::int64_t kLimit = std::int64_t{INT32_MAX} + 1;
  std::int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > kLimit)
      value = kLimit;
  }
  if (negative)
    return static_cast<std::int32_t>(-value);  // -2^31 fits exactly
  return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

FirmwareVersion& FirmwareVersion::operator=(const FirmwareVersion& other) {
  if (Compare(other) != 0) {
    major_ = other.major_;
    minor_ = other.minor_;
    build_ = other.build_;
    hasBuild_ = other.hasBuild_;
    text_[0] = '\0';
  }
  return *this;
}

void FirmwareVersion::Parse(const char* text) {
  if (text == nullptr || *text == '\0')
    return;

  char work[kParseBufferSize];
  std::snprintf(work, sizeof work, "%s", text);
  Part parts[3];
  const std::size_t count = SplitParts(SkipDecorations(work), parts);
  std::uint32_t* components[] = {&major_, &minor_, &build_};
  for (std::size_t i = 0; i < count; ++i)
    *components[i] = static_cast<std::uint32_t>(ReadLeadingDecimal(parts[i].begin));

  hasBuild_ = true;
  Text();
  if (HasUserInterface())
    TheUserInterface().Debug("Parsed version to be %s \n", text_);
}

VersionReading ReadingOf(const char* text) {
  if (text == nullptr || *text == '\0')
    return VersionReading::kWhole;
  char work[kParseBufferSize];
  std::snprintf(work, sizeof work, "%s", text);
  const char* numbers = SkipDecorations(work);
  Part parts[3];
  const std::size_t count = SplitParts(numbers, parts);

  VersionReading reading =
      HoldsDigit(work, numbers) ? VersionReading::kDigitsLeftOut : VersionReading::kWhole;
  if (count == 0)
    reading = Worse(reading, VersionReading::kWordDropped);  // no number at all
  for (std::size_t i = 0; i < count; ++i)
    reading = Worse(reading, ReadingOfPart(parts[i]));
  // Parse sees only the first characters: a cut before the third part is over
  // loses what follows.
  const bool cut = std::strlen(text) >= sizeof work;
  if (cut && (count < 3 || *parts[2].end != '.'))
    reading = VersionReading::kDigitsLeftOut;
  return reading;
}

const char* ReadingReason(VersionReading reading) {
  switch (reading) {
    case VersionReading::kWhole:
      return "it is read whole";
    case VersionReading::kBlanksSkipped:
      return "blanks stand inside its numbers";
    case VersionReading::kWordDropped:
      return "letters or signs stand where numbers should";
    case VersionReading::kDigitsLeftOut:
      break;
  }
  return "digits in it are not in the version read";
}

const char* FirmwareVersion::Text() {
  // Components print as signed 32-bit numbers on every platform (long is 64-bit
  // on Linux), so both builds show the same text for values of 2^31 and more.
  if (hasBuild_) {
    std::snprintf(text_, sizeof text_, "%d.%d.%d", AsSigned(major_), AsSigned(minor_),
                  AsSigned(build_));
  } else {
    std::snprintf(text_, sizeof text_, "%d.%d", AsSigned(major_), AsSigned(minor_));
  }
  return text_;
}

namespace {

int Order(std::uint32_t left, std::uint32_t right) {
  return left > right ? 1 : -1;
}

}  // namespace

int FirmwareVersion::Compare(const FirmwareVersion& other) const {
  if (major_ != other.major_)
    return Order(major_, other.major_);
  if (minor_ != other.minor_)
    return Order(minor_, other.minor_);
  if (hasBuild_ && build_ != other.build_)
    return Order(build_, other.build_);
  return 0;
}

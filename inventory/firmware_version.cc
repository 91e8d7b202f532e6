#include "inventory/firmware_version.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ui/user_interface.h"

namespace {

// Version texts longer than this are cut; nothing meaningful lives that far in.
constexpr std::size_t kParseBufferSize = 256;

bool IsAtoiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Drops everything up to and including the last occurrence of marker, so that
// decorations such as "v" or "c" in front of the numbers fall away.
char* SkipPastLast(char* cursor, char marker) {
  while (*cursor != '\0') {
    char* found = std::strchr(cursor, marker);
    if (found == nullptr)
      break;
    cursor = found + 1;
  }
  return cursor;
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

  // A leading word ("Version 4.0.555", "NCSI 4.0.555") is dropped together with
  // the blanks that follow it.
  char* cursor = std::strchr(work, ' ');
  if (cursor != nullptr) {
    while (*cursor == ' ')
      ++cursor;
  } else {
    cursor = work;
  }
  if (std::strncmp(cursor, "NCSI", 4) == 0)
    cursor += 4;
  cursor = SkipPastLast(cursor, 'v');
  cursor = SkipPastLast(cursor, 'c');

  std::uint32_t* components[] = {&major_, &minor_, &build_};
  std::size_t taken = 0;
  char* token = cursor;
  while (taken < 3) {
    while (*token == '.')
      ++token;
    if (*token == '\0')
      break;
    char* end = token;
    while (*end != '\0' && *end != '.')
      ++end;
    const bool last = *end == '\0';
    *end = '\0';
    *components[taken++] = static_cast<std::uint32_t>(ReadLeadingDecimal(token));
    if (last)
      break;
    token = end + 1;
  }

  hasBuild_ = true;
  Text();
  if (HasUserInterface())
    TheUserInterface().Debug("Parsed version to be %s \n", text_);
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

// The Windows command-line word rules, shared by both builds: the POSIX
// runner splits with them, and both builds quote values with them.
#include "platform/process.h"

namespace {

std::string StartFailure;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::size_t i = 0;
  const std::size_t end = commandLine.size();
  while (true) {
    while (i < end && IsBlank(commandLine[i]))
      ++i;
    if (i == end)
      break;

    std::string word;
    bool quoted = false;
    while (i < end && (quoted || !IsBlank(commandLine[i]))) {
      std::size_t backslashes = 0;
      while (i < end && commandLine[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < end && commandLine[i] == '"') {
        // 2n backslashes and a quote: n backslashes, and the quote groups;
        // 2n+1: n backslashes and a literal quote.
        word.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          word += '"';
        } else if (quoted && i + 1 < end && commandLine[i + 1] == '"') {
          // A doubled quote inside quotes is one literal quote, as the current
          // Windows runtime reads it.
          word += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        word.append(backslashes, '\\');
        if (i < end && (quoted || !IsBlank(commandLine[i])))
          word += commandLine[i++];
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string QuoteArgument(const std::string& value) {
  if (value.find_first_of(" \t\"") == std::string::npos)
    return value;

  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; elsewhere
    // backslashes are literal and stay as they are.
    if (c == '"') {
      quoted.append(2 * backslashes + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  // Before the closing quote, trailing backslashes must be doubled.
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}

std::string LastStartFailure() {
  return StartFailure;
}

void NoteStartFailure(const std::string& reason) {
  StartFailure = reason;
}

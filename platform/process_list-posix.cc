#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <memory>

#include "platform/process_list.h"

namespace {

bool IsProcessId(const char* name) {
  if (!*name)
    return false;
  for (; *name; ++name) {
    if (!std::isdigit(static_cast<unsigned char>(*name)))
      return false;
  }
  return true;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable behind /proc/PID/exe. The kernel marks a replaced or removed
// executable with a suffix; the program's name is still the part before it.
bool ExecutableBaseName(const std::string& processDirectory, std::string* name) {
  std::string target(256, '\0');
  while (true) {
    const ssize_t length =
        readlink((processDirectory + "/exe").c_str(), target.data(), target.size());
    if (length <= 0)
      return false;
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      break;
    }
    target.resize(target.size() * 2);
  }
  const std::string deleted = " (deleted)";
  if (target.size() > deleted.size() && target.ends_with(deleted))
    target.resize(target.size() - deleted.size());
  *name = BaseName(target);
  return !name->empty();
}

// The kernel's short command name, for processes whose executable link may
// not be read (other users' processes, kernel threads).
bool CommandName(const std::string& processDirectory, std::string* name) {
  std::ifstream comm(processDirectory + "/comm");
  return std::getline(comm, *name) && !name->empty();
}

}  // namespace

bool ListProcessBaseNames(std::vector<std::string>* names) {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (!proc)
    return false;
  names->clear();
  while (const dirent* entry = readdir(proc.get())) {
    if (!IsProcessId(entry->d_name))
      continue;
    const std::string directory = std::string("/proc/") + entry->d_name;
    std::string name;
    // A process that ended meanwhile, or cannot be read, is passed over.
    if (ExecutableBaseName(directory, &name) || CommandName(directory, &name))
      names->push_back(name);
  }
  return true;
}

#include <windows.h>

#include "platform/instance_lock.h"

std::string InstanceLockDirectory() {
  return std::string();  // a named mutex
}

InstanceLock::~InstanceLock() {
  // The mutex goes with its last handle; the system closes it for a process
  // that ends without getting here.
  if (held())
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

InstanceLockState InstanceLock::Acquire(const std::string&, const std::string& name) {
  if (held())
    return InstanceLockState::kHeld;
  // One namespace for every session of the machine: the adapters are shared by
  // all of them.
  where_ = "Global\\" + name;
  // The mutex is never waited for: that it exists at all means a run holds it.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, where_.c_str());
  const DWORD error = GetLastError();
  if (mutex == nullptr) {
    // A mutex made by another user's run may exist and still refuse us access.
    if (error == ERROR_ACCESS_DENIED)
      return InstanceLockState::kHeldElsewhere;
    error_ = error;
    return InstanceLockState::kUnavailable;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return InstanceLockState::kHeldElsewhere;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
  return InstanceLockState::kHeld;
}

#include <windows.h>
// sddl.h builds on the types of windows.h.
#include <sddl.h>

#include "platform/instance_lock.h"
#include "files/utf16.h"

namespace {

// Full access for SYSTEM and the Administrators group, none for anyone else,
// and nothing inherited: a program of an ordinary user can then neither open
// the mutex nor hold a handle to it, which would keep every later run out.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

// A security descriptor that LocalFree releases; null when it cannot be built,
// and the mutex then gets the default one.
struct AdministratorsOnly {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  AdministratorsOnly() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
      descriptor = nullptr;
  }
  ~AdministratorsOnly() { LocalFree(descriptor); }
};

}  // namespace

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
  const AdministratorsOnly access;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, access.descriptor, FALSE};
  // The mutex is never waited for: that it exists at all means a run holds it.
  HANDLE mutex =
      CreateMutexW(access.descriptor ? &attributes : nullptr, FALSE, WidenUtf8(where_).c_str());
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

// The Windows mutex's access rules, read back from the system.
#include <windows.h>
// aclapi.h and sddl.h build on the types of windows.h.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <string>

#include "platform/instance_lock.h"

namespace {

// The mutex's access list in the system's own notation.
std::wstring AccessListOf(const std::wstring& name) {
  HANDLE mutex = OpenMutexW(READ_CONTROL, FALSE, name.c_str());
  if (!mutex)
    return L"(cannot open)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring text = L"(no access list)";
  if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                      nullptr, &descriptor) == ERROR_SUCCESS) {
    wchar_t* sddl = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
      text = sddl;
      LocalFree(sddl);
    }
    LocalFree(descriptor);
  }
  CloseHandle(mutex);
  return text;
}

TEST(InstanceLockWindows, OnlySystemAndAdministratorsMayOpenTheMutex) {
  InstanceLock lock;
  ASSERT_EQ(lock.Acquire("", "zentavor-test-access.lock"), InstanceLockState::kHeld);
  const std::wstring list = AccessListOf(L"Global\\zentavor-test-access.lock");
  // Protected (nothing inherited), and exactly the two full-access entries.
  EXPECT_EQ(list.rfind(L"D:P", 0), 0u) << list.c_str();
  EXPECT_NE(list.find(L";;;SY)"), std::wstring::npos);
  EXPECT_NE(list.find(L";;;BA)"), std::wstring::npos);
  EXPECT_EQ(std::count(list.begin(), list.end(), L'('), 2) << list.c_str();
}

}  // namespace

#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>

#include "platform/sha256.h"
#include "platform/system_library.h"

namespace {

// CNG's hash calls, from bcrypt.dll of the system directory, and the SHA-256
// provider, opened once for the process.
struct Cng {
  using Open = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
  using Close = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
  using Create = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR,
                                   ULONG, ULONG);
  using Data = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
  using Destroy = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

  SystemLibrary library{L"bcrypt.dll"};
  Open open = library.Find<Open>("BCryptOpenAlgorithmProvider");
  Close close = library.Find<Close>("BCryptCloseAlgorithmProvider");
  Create create = library.Find<Create>("BCryptCreateHash");
  Data hashData = library.Find<Data>("BCryptHashData");
  Data finish = library.Find<Data>("BCryptFinishHash");
  Destroy destroy = library.Find<Destroy>("BCryptDestroyHash");
  BCRYPT_ALG_HANDLE sha256 = nullptr;

  Cng() {
    if (!open || !close || !create || !hashData || !finish || !destroy ||
        !BCRYPT_SUCCESS(open(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      sha256 = nullptr;
    }
  }
  ~Cng() {
    if (sha256 != nullptr)
      close(sha256, 0);
  }
  Cng(const Cng&) = delete;
  Cng& operator=(const Cng&) = delete;
};

const Cng& TheCng() {
  static const Cng cng;
  return cng;
}

}  // namespace

struct Sha256::Context {
  BCRYPT_HASH_HANDLE hash = nullptr;

  Context() {
    const Cng& cng = TheCng();
    // The hash object's memory is CNG's own (Windows 7 and later).
    if (cng.sha256 == nullptr ||
        !BCRYPT_SUCCESS(cng.create(cng.sha256, &hash, nullptr, 0, nullptr, 0, 0))) {
      hash = nullptr;
    }
  }
  ~Context() { Release(); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  void Release() {
    if (hash != nullptr)
      TheCng().destroy(hash);
    hash = nullptr;
  }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}

Sha256::~Sha256() = default;

bool Sha256::Add(const void* data, std::size_t size) {
  auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
  while (context_->hash != nullptr && size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 0x40000000));
    if (!BCRYPT_SUCCESS(TheCng().hashData(context_->hash, bytes, piece, 0)))
      context_->Release();
    bytes += piece;
    size -= piece;
  }
  return context_->hash != nullptr;
}

bool Sha256::Finish(Sha256Digest* digest) {
  const bool finished =
      context_->hash != nullptr &&
      BCRYPT_SUCCESS(TheCng().finish(context_->hash, digest->data(), digest->size(), 0));
  context_->Release();
  return finished;
}

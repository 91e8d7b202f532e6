#include <openssl/evp.h>

#include "platform/sha256.h"

struct Sha256::Context {
  EVP_MD_CTX* evp = nullptr;
  bool good = false;

  Context() : evp(EVP_MD_CTX_new()) {
    good = evp != nullptr && EVP_DigestInit_ex(evp, EVP_sha256(), nullptr) == 1;
  }
  ~Context() { EVP_MD_CTX_free(evp); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}

Sha256::~Sha256() = default;

bool Sha256::Add(const void* data, std::size_t size) {
  context_->good = context_->good && EVP_DigestUpdate(context_->evp, data, size) == 1;
  return context_->good;
}

bool Sha256::Finish(Sha256Digest* digest) {
  unsigned int length = 0;
  const bool finished = context_->good &&
                        EVP_DigestFinal_ex(context_->evp, digest->data(), &length) == 1 &&
                        length == digest->size();
  context_->good = false;
  return finished;
}

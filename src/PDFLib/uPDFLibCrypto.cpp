// OpenSSL's libcrypto, opened on first use.
#include "uPDFLibCrypto.h"

#include <dlfcn.h>

#include <atomic>
#include <optional>

// The full path of the library the build found: never a bare name, which
// the loader would look for along LD_LIBRARY_PATH first.
#ifndef VORLITH_LIBCRYPTO
#define VORLITH_LIBCRYPTO "/usr/lib/x86_64-linux-gnu/libcrypto.so.3"
#endif

namespace {

const char* Path = VORLITH_LIBCRYPTO;
std::atomic<bool> Asked{false};

std::optional<TLibCrypto> Open() {
  // Never closed: the functions serve until the process ends.
  void* Library = dlopen(Path, RTLD_NOW | RTLD_LOCAL);
  if (!Library) return std::nullopt;
  bool Complete = true;
  auto Find = [&](auto& Function, const char* Name) {
    Function = reinterpret_cast<std::remove_reference_t<decltype(Function)>>(dlsym(Library, Name));
    Complete = Complete && Function;
  };
  TLibCrypto L{};
  Find(L.Digest, "EVP_Digest");
  Find(L.SHA256, "EVP_sha256");
  Find(L.SHA384, "EVP_sha384");
  Find(L.SHA512, "EVP_sha512");
  Find(L.AES128CBC, "EVP_aes_128_cbc");
  Find(L.AES256CBC, "EVP_aes_256_cbc");
  Find(L.CipherNew, "EVP_CIPHER_CTX_new");
  Find(L.CipherFree, "EVP_CIPHER_CTX_free");
  Find(L.CipherInit, "EVP_CipherInit_ex");
  Find(L.SetPadding, "EVP_CIPHER_CTX_set_padding");
  Find(L.CipherUpdate, "EVP_CipherUpdate");
  if (!Complete) return std::nullopt;
  return L;
}

}  // namespace

const char* LibCryptoPath() { return Path; }

bool UseLibCryptoPathForTests(const char* TestPath) {
  if (Asked) return false;
  Path = TestPath;
  return true;
}

const TLibCrypto* LibCrypto() {
  Asked = true;
  static const std::optional<TLibCrypto> Functions = Open();
  return Functions ? &*Functions : nullptr;
}

// OpenSSL's libcrypto, opened on first use.
#pragma once

#include <openssl/evp.h>

// The libcrypto functions the ciphers and digests call. The library is
// opened the first time a document needs AES or SHA-2 (AES-encrypted
// documents), so that every other run starts without loading it.
struct TLibCrypto {
  decltype(&EVP_Digest) Digest;
  decltype(&EVP_sha256) SHA256;
  decltype(&EVP_sha384) SHA384;
  decltype(&EVP_sha512) SHA512;
  decltype(&EVP_aes_128_cbc) AES128CBC;
  decltype(&EVP_aes_256_cbc) AES256CBC;
  decltype(&EVP_CIPHER_CTX_new) CipherNew;
  decltype(&EVP_CIPHER_CTX_free) CipherFree;
  decltype(&EVP_CipherInit_ex) CipherInit;
  decltype(&EVP_CIPHER_CTX_set_padding) SetPadding;
  decltype(&EVP_CipherUpdate) CipherUpdate;
};

// The functions, or null when the library or one of them cannot be found
// (then AES and SHA-2 give nothing, as for a bad key). Safe to call from
// several threads.
const TLibCrypto* LibCrypto();
// The file LibCrypto opens: the full path of the library the build found.
const char* LibCryptoPath();
// For the tests only: LibCrypto opens Path instead; false (and nothing
// changes) when it was called already.
bool UseLibCryptoPathForTests(const char* Path);

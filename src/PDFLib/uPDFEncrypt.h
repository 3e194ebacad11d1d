// Ciphers of the standard PDF security handler: RC4 (our own) and AES-CBC
// (OpenSSL's libcrypto through its EVP interface).
#pragma once

#include <string>
#include <string_view>

// RC4 of Data under Key (encryption and decryption are the same operation).
// Only the first 256 bytes of a longer key are used; an empty key gives Data
// unchanged.
std::string RC4(std::string_view Key, std::string_view Data);

// RC4InPlace(Key, Data) leaves in Data what RC4(Key, Data) returns, without
// copying; meant for large stream data.
void RC4InPlace(std::string_view Key, std::string& Data);

// AES-CBC over whole 16-byte blocks, without padding, under a key of 16 or 32
// bytes (AES-128 or AES-256) and a 16-byte IV (an empty IV counts as zeros).
// Bytes beyond the last whole block are dropped. Empty for any other key or IV
// length, or when the library fails. Never throws.
std::string AESEncryptCBC(std::string_view Key, std::string_view IV, std::string_view Data);
std::string AESDecryptCBC(std::string_view Key, std::string_view IV, std::string_view Data);

// The AES decryption of a PDF string or stream: the first 16 bytes are the
// IV, the rest whole blocks ending in PKCS#5 padding. Data of fewer than 16
// bytes gives nothing; bytes beyond the last whole block are dropped; padding
// that is not well-formed (or a cut last block) is left on: the result is
// whatever decrypts. Never throws.
std::string AESDecryptPDF(std::string_view Key, std::string_view Data);

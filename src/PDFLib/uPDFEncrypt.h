// RC4 stream cipher for the standard PDF security handler.
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

// Shell services: opening a file or address with its associated program, file
// tests, the program's version and today's date.
#pragma once

#include <string>

// Asks the desktop to open Target (xdg-open) with Parameters, without waiting;
// the outcome is not looked at.
void ShellOpen(const std::string& Target, const std::string& Parameters = "");

// Whether Path names an existing regular file.
bool FileExists(const std::string& Path);

// The program's own version (the build's project version).
void GetFileVersion(int& Major, int& Minor, int& Release, int& Build);

// Today's date in the user's short date format (LC_TIME).
std::string ShortDateString();

// Caps the address space of this process (and of the processes it starts
// afterwards) at Bytes, so that an allocation past it fails instead of the
// machine running out; false when the cap cannot be set. Builds with
// AddressSanitizer, which reserves far more address space than it uses, set
// no cap and say true.
bool LimitAddressSpace(unsigned long long Bytes);

// The machine's physical memory in bytes (0 when unknown).
unsigned long long PhysicalMemory();

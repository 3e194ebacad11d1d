// The code page of all text the system writes: conversion of UTF-16 units and
// of WinAnsiEncoding (Windows-1252) bytes into it, over glibc's iconv.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// One code page, chosen once per process. Conversions are cached; a character
// the code page lacks becomes "?". A code page may be shared by several
// threads: its caches are filled under a lock and read without one, and
// references it returns stay valid and unchanged for its life.
class TCodePage {
 public:
  // The code page NAME as iconv knows it ("CP1252", "UTF-8", "CP936",
  // "GB18030", ...); null when iconv does not know it, or when the code page
  // does not keep ASCII as it is (UTF-16, UTF-32, EBCDIC, ...). The name is
  // kept in upper case.
  static std::shared_ptr<const TCodePage> Create(std::string_view Name);
  // The character set of the environment's locale (LC_ALL, LC_CTYPE, LANG),
  // UTF-8 when that is UTF-8, ASCII or the C/POSIX locale. Leaves the
  // process's locale alone; any thread may call it.
  static std::string LocaleName();
  // The process default: Create(LocaleName()), or UTF-8; the same object
  // again while the locale's character set stays the same (per thread).
  static std::shared_ptr<const TCodePage> Default();

  virtual ~TCodePage() = default;
  virtual const std::string& Name() const = 0;
  // Windows-1252 itself: WinAnsiEncoding bytes stay as they are.
  virtual bool IsWinAnsi() const = 0;
  // One UTF-16 unit (a lone surrogate half too) in this code page.
  virtual const std::string& FromUTF16(uint16_t Unit) const = 0;
  // One character of any plane in this code page; a surrogate, or a
  // character the code page lacks, becomes "?".
  virtual std::string FromCodePoint(char32_t Char) const { return Char < 0x10000 ? FromUTF16(static_cast<uint16_t>(Char)) : "?"; }
  // Whether the code page has a form for Char.
  bool Has(char32_t Char) const { return Char == U'?' || FromCodePoint(Char) != "?"; }
  // A WinAnsiEncoding byte in this code page: the byte itself in CP1252;
  // elsewhere its character converted (control bytes stay, and the five bytes
  // Windows-1252 leaves undefined become "?").
  virtual const std::string& FromWinAnsi(unsigned char Byte) const = 0;
};

// Text in Page's code page converted to UTF-8 (for passwords, which the
// security handler of AES-256 documents takes in UTF-8); nothing when the
// text is not valid in that code page.
std::optional<std::string> ConvertToUTF8(const TCodePage& Page, std::string_view Text);

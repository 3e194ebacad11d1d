// The forms a typed password takes before the security handler hashes it:
// PDFDocEncoding bytes (RC4 and AES-128 documents) and SASLprep-prepared
// UTF-8 (AES-256 documents).
#pragma once

#include <optional>
#include <string>
#include <string_view>

class TCodePage;

// Password, typed in CodePage, in PDFDocEncoding; nothing when it is not
// valid in the code page or holds a character PDFDocEncoding lacks.
std::optional<std::string> PasswordToPDFDoc(const TCodePage& CodePage, std::string_view Password);

// Password, typed in CodePage, as the revision 5 and 6 handler takes it:
// converted to UTF-8, prepared with SASLprep (RFC 4013) and cut to 127 bytes.
// A password that does not convert is taken as it is; one that SASLprep
// refuses (prohibited or unassigned characters) is taken unprepared.
std::string PasswordForAES256(const TCodePage& CodePage, std::string_view Password);

// The SASLprep form of UTF-8 Text (stored-string rules off: unassigned code
// points are let through, as for a query); nothing when SASLprep refuses it.
std::optional<std::string> SASLprep(std::string_view Text);

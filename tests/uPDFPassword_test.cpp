// The forms of a typed password: PDFDocEncoding and SASLprep-prepared UTF-8.
#include "uPDFPassword.h"

#include <gtest/gtest.h>

#include <string>

#include "CodePage.h"

namespace {

TEST(SASLprep, RFC4013Examples) {
  struct TCase {
    const char* Name;
    const char* In;
    std::optional<std::string> Out;
  } Cases[] = {
      {"soft hyphen mapped to nothing", "I\xC2\xAD" "X", "IX"},
      {"no transformation", "user", "user"},
      {"case preserved", "USER", "USER"},
      {"NFKC: feminine ordinal", "\xC2\xAA", "a"},
      {"NFKC: roman numeral nine", "\xE2\x85\xA8", "IX"},
      {"non-ASCII space mapped to space", "a\xC2\xA0" "b", "a b"},
      {"prohibited control character", "\x07", std::nullopt},
      {"bidi check", "\xD8\xA7" "1", std::nullopt},
      // NFKC composes a + combining diaeresis, so both forms give one password.
      {"composition", "pa\xCC\x88sswo\xCC\x88rd", "p\xC3\xA4ssw\xC3\xB6rd"},
  };
  for (const TCase& C : Cases) EXPECT_EQ(SASLprep(C.In), C.Out) << C.Name;
  EXPECT_EQ(SASLprep(std::string("a\0b", 3)), std::nullopt);
}

TEST(PasswordForms, PDFDocEncoding) {
  const auto UTF8 = TCodePage::Create("UTF-8");
  const auto CP1252 = TCodePage::Create("CP1252");
  ASSERT_TRUE(UTF8 && CP1252);
  struct TCase {
    const TCodePage* Page;
    const char* Typed;
    std::optional<std::string> PDFDoc;
  } Cases[] = {
      {UTF8.get(), "p\xC3\xA4ssw\xC3\xB6rd", "p\xE4ssw\xF6rd"},  // Latin-1 letters stay
      {UTF8.get(), "\xE2\x82\xAC\xE2\x80\x93\xC5\x81", "\xA0\x85\x95"},  // euro, en dash, Lslash
      {UTF8.get(), "\xCB\x98", "\x18"},                              // breve
      {UTF8.get(), "\xE4\xB8\xAD", std::nullopt},                    // no CJK in PDFDocEncoding
      {UTF8.get(), "\xFF", std::nullopt},                            // not UTF-8
      {CP1252.get(), "\x80\x96", "\xA0\x85"},                        // euro, en dash typed in CP1252
  };
  for (const TCase& C : Cases) EXPECT_EQ(PasswordToPDFDoc(*C.Page, C.Typed), C.PDFDoc) << C.Typed;
}

TEST(PasswordForms, AES256PasswordsAreUTF8PreparedAndCut) {
  const auto UTF8 = TCodePage::Create("UTF-8");
  const auto CP1252 = TCodePage::Create("CP1252");
  ASSERT_TRUE(UTF8 && CP1252);
  EXPECT_EQ(PasswordForAES256(*CP1252, "p\xE4ss"), "p\xC3\xA4ss");
  EXPECT_EQ(PasswordForAES256(*UTF8, "pa\xCC\x88ss"), "p\xC3\xA4ss");
  // Refused by SASLprep: taken unprepared.
  EXPECT_EQ(PasswordForAES256(*UTF8, "tab\there"), "tab\there");
  // Cut to 127 bytes, after preparing (each U+2168 becomes two bytes "IX").
  std::string Numerals;
  for (int I = 0; I < 100; ++I) Numerals += "\xE2\x85\xA8";
  const std::string Prepared = PasswordForAES256(*UTF8, Numerals);
  ASSERT_EQ(Prepared.size(), 127u);
  EXPECT_EQ(Prepared.substr(0, 4), "IXIX");
}

}  // namespace

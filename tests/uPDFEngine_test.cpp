// The engine facade: the document list, selection and page calls.
#include "uPDFEngine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CodePage.h"
#include "TestPDFWriter.h"
#include "Utility.h"
#include "uPDFDocument.h"
#include "uPDFPageTree.h"

namespace {

const std::string Sample = std::string(VORLITH_SOURCE_DIR) + "/examples/sample.pdf";

TEST(TPDFEngine, NewEngineHoldsOneEmptyDocument) {
  TPDFEngine E;
  ASSERT_EQ(E.DocumentCount(), 1);
  TPDFDocument* First = E.DocumentID(1);
  EXPECT_EQ(E.SelectedDocument(), First);
  EXPECT_EQ(First->Version(), "1.4");
  EXPECT_EQ(E.PageCount(), 1);
  EXPECT_EQ(E.SelectedPage(), 1);
  EXPECT_DOUBLE_EQ(E.PageWidth(), 612);
  EXPECT_DOUBLE_EQ(E.PageHeight(), 792);
  EXPECT_EQ(First->GetInfo()->GetText("Producer"), "Vorlith PDF engine");
  EXPECT_EQ(First->GetInfo()->GetText("CreationDate").substr(0, 2), "D:");
  EXPECT_EQ(E.RemoveDocument(First), 0);  // the last document is never removed
  EXPECT_EQ(E.DocumentCount(), 1);
  EXPECT_EQ(E.DocumentID(0), nullptr);
  EXPECT_EQ(E.DocumentID(2), nullptr);
}

TEST(TPDFEngine, LoadSelectAndRemove) {
  TPDFEngine E;
  TPDFDocument* Empty = E.SelectedDocument();
  ASSERT_TRUE(E.LoadFromFile(Sample));
  TPDFDocument* A = E.SelectedDocument();
  ASSERT_TRUE(E.LoadFromFile(Sample));
  TPDFDocument* B = E.SelectedDocument();
  EXPECT_EQ(E.DocumentCount(), 3);
  EXPECT_NE(A, B);
  EXPECT_EQ(E.PageCount(), 3);

  EXPECT_EQ(E.RemoveDocument(B), 1);
  EXPECT_EQ(E.SelectedDocument(), A);  // the one before it
  EXPECT_EQ(E.RemoveDocument(B), 0);   // not in the list any more
  EXPECT_EQ(E.SelectDocument(Empty), 1);
  EXPECT_EQ(E.RemoveDocument(Empty), 1);
  EXPECT_EQ(E.SelectedDocument(), A);  // the first one goes: the one after it
  EXPECT_EQ(E.DocumentCount(), 1);
  EXPECT_EQ(E.SelectDocument(nullptr), 0);
}

TEST(TPDFEngine, FailedLoadsChangeNothing) {
  TPDFEngine E;
  TPDFDocument* Before = E.SelectedDocument();
  EXPECT_FALSE(E.LoadFromFile("/nonexistent/file.pdf"));
  EXPECT_FALSE(E.LoadFromFile(VORLITH_SOURCE_DIR));  // a folder
  EXPECT_FALSE(E.LoadFromData("not a pdf at all"));
  EXPECT_FALSE(E.LoadFromData(""));
  EXPECT_EQ(E.DocumentCount(), 1);
  EXPECT_EQ(E.SelectedDocument(), Before);
}

TEST(TPDFEngine, PagesSizesAndModes) {
  TPDFEngine E;
  ASSERT_TRUE(E.LoadFromFile(Sample));
  EXPECT_EQ(E.SelectPage(2), 1);
  EXPECT_EQ(E.SelectedPage(), 2);
  EXPECT_EQ(E.SelectPage(4), 0);  // outside: the current page stays
  EXPECT_EQ(E.SelectPage(0), 0);
  EXPECT_EQ(E.SelectedPage(), 2);
  E.SelectedDocument()->UnitScale = 25.4 / 72;  // millimetres
  E.SelectPage(1);
  EXPECT_NEAR(E.PageWidth(), 215.9, 1e-9);
  EXPECT_NEAR(E.PageHeight(), 279.4, 1e-9);
  EXPECT_EQ(E.GetPageText(static_cast<TPDFTextMode>(5)), "");
  EXPECT_EQ(E.GetPageText(static_cast<TPDFTextMode>(-1)), "");
}

TEST(TPDFEngine, PositionedModesFollowOriginAndScale) {
  TPDFEngine E;
  ASSERT_TRUE(E.LoadFromFile(Sample));
  E.SelectPage(1);
  // Field 4 of the first row: P0's y.
  auto FirstY = [&] {
    const std::string Rows = E.GetPageText(TPDFTextMode::Blocks);
    return std::stod(SplitString(Rows.substr(0, Rows.find("\r\n")), ",", '\\', "\"").at(4));
  };
  const double Bottom = FirstY();
  E.SelectedDocument()->Origin = 1;  // top left: y mirrored in the page height
  EXPECT_NEAR(FirstY(), 792 - Bottom, 0.001);
  E.SelectedDocument()->Origin = 0;
  E.SelectedDocument()->UnitScale = 0.5;
  EXPECT_NEAR(FirstY(), Bottom / 2, 0.001);
  EXPECT_FALSE(E.GetPageText(TPDFTextMode::Words).empty());
}

TEST(TPDFEngine, PageBlocksAreTheRowsOfMode3) {
  TPDFEngine E;
  ASSERT_TRUE(E.LoadFromFile(Sample));
  TPDFTextFunnel Funnel;
  for (int Origin : {0, 1, 2, 3})
    for (double Scale : {1.0, 25.4 / 72})
      for (int Page = 1; Page <= E.PageCount(); ++Page) {
        E.SelectedDocument()->Origin = Origin;
        E.SelectedDocument()->UnitScale = Scale;
        E.SelectPage(Page);
        // The same funnel each time: it is cleared first.
        E.GetPageBlocks(Funnel);
        EXPECT_FALSE(Funnel.Blocks().empty()) << Page;
        EXPECT_EQ(Funnel.GetRows(), E.GetPageText(TPDFTextMode::Blocks)) << Origin << " " << Scale << " " << Page;
      }
  // No page: no blocks.
  TPDFEngine Empty;
  Empty.GetPageBlocks(Funnel);
  EXPECT_TRUE(Funnel.Blocks().empty());
}

// ---------------------------------------------------------------- encrypted documents

std::string Fixture(const std::string& Name) { return std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/" + Name; }

// The text of every page of a document in the content and positioned modes.
std::string AllText(TPDFEngine& E) {
  std::string Text;
  for (int Page = 1; Page <= E.PageCount(); ++Page) {
    E.SelectPage(Page);
    Text += E.GetPageText(TPDFTextMode::Plain) + "\n" + E.GetPageText(TPDFTextMode::Blocks) + "\n";
  }
  return Text;
}

TEST(TPDFEngineSecurity, PasswordsAndText) {
  TPDFEngine Plain;
  ASSERT_TRUE(Plain.LoadFromFile(Sample));
  const std::string SampleText = AllText(Plain);
  ASSERT_NE(SampleText.find("Second page"), std::string::npos);
  struct Case {
    const char* File;
    int State, Strength;
    const char* User;
    const char* Owner;
    std::string Security;  // SecurityInfo 0..10 before any password
  } Cases[] = {
      {"rc4-40-empty-user.pdf", 1, 40, "", "owner", "1 2 3 4 6 6 6 5 5 5 7"},
      {"rc4-40.pdf", 1, 40, "user", "owner", "1 3 3 5 5 6 6 5 5 5 7"},
      {"rc4-128.pdf", 1, 128, "user", "owner", "1 3 3 10 6 5 6 6 6 6 8"},
      {"rc4-128-objstm.pdf", 1, 128, "user", "owner", "1 3 3 4 6 6 6 6 6 6 8"},
      // Crypt filters (V 4): RC4, AES-128; metadata in clear; object streams.
      {"rc4-128-v4.pdf", 1, 128, "user", "owner", "1 3 3 4 6 6 6 6 6 6 8"},
      {"aes-128.pdf", 1, 128, "user", "owner", "1 3 3 4 6 6 6 6 6 6 8"},
      {"aes-128-empty-user.pdf", 1, 128, "", "owner", "1 2 3 4 6 6 6 6 6 6 8"},
      {"aes-128-objstm.pdf", 1, 128, "user", "owner", "1 3 3 4 6 6 6 6 6 6 8"},
      {"aes-128-clear-metadata.pdf", 1, 128, "user", "owner", "1 3 3 4 6 6 6 6 6 6 8"},
      // AES-256 (V 5): revision 6 and 5; item 10 is 12.
      {"aes-256.pdf", 1, 256, "user", "owner", "1 3 3 10 6 5 6 6 6 6 12"},
      {"aes-256-empty-user-objstm.pdf", 1, 256, "", "owner", "1 2 3 4 6 6 6 6 6 6 12"},
      {"aes-256-r5.pdf", 1, 256, "user", "owner", "1 3 3 4 6 6 6 6 6 6 12"},
  };
  for (const auto& C : Cases) {
    for (const char* Password : {C.User, C.Owner, "wrong"}) {
      TPDFEngine E;
      ASSERT_TRUE(E.LoadFromFile(Fixture(C.File))) << C.File;
      TPDFDocument* Doc = E.SelectedDocument();
      EXPECT_EQ(static_cast<int>(E.Encrypted()), C.State) << C.File;
      EXPECT_EQ(Doc->EncryptionStrength(), C.Strength) << C.File;
      std::string Security;
      for (int Item = 0; Item <= 10; ++Item) Security += (Item ? " " : "") + std::to_string(static_cast<int>(E.SecurityInfo(static_cast<TPDFSecurityItem>(Item))));
      EXPECT_EQ(Security, C.Security) << C.File;
      const int Result = static_cast<int>(E.SetPassword(Password));
      const std::string Wrong = "wrong";
      const int Expected = Password == Wrong ? 0 : Password == std::string(C.Owner) ? 2 : 1;
      EXPECT_EQ(Result, Expected) << C.File << " " << Password;
      if (Result == 0 && std::string(C.User).size()) {
        EXPECT_EQ(Doc->StoredPassword(), "") << C.File;  // a wrong password changes nothing
        EXPECT_EQ(E.PageCount(), 0) << C.File;            // nor opens the page tree
        continue;
      }
      ASSERT_EQ(E.PageCount(), 3) << C.File << " " << Password;
      // The same text as the plain original, page by page.
      EXPECT_EQ(AllText(E), SampleText) << C.File << " " << Password;
      EXPECT_EQ(Doc->ObjectKey(12, 0).size(), C.Strength == 40 ? 10u : 16u);
    }
  }
}

// What the handler takes apart from the methods: the key of an object.
TEST(TPDFEngineSecurity, ObjectKeysByMethod) {
  using M = TPDFDocument::TCryptMethod;
  TPDFEngine E;
  ASSERT_TRUE(E.LoadFromFile(Fixture("aes-128.pdf")));
  TPDFDocument* Doc = E.SelectedDocument();
  EXPECT_EQ(Doc->StringMethod(), M::AESV2);
  EXPECT_EQ(Doc->StreamMethod(), M::AESV2);
  ASSERT_EQ(E.SetPassword("user"), TPDFPasswordResult::User);
  // AES-128 keys are salted: not the RC4 key of the same object.
  EXPECT_EQ(Doc->ObjectKey(7, 0, M::AESV2).size(), 16u);
  EXPECT_NE(Doc->ObjectKey(7, 0, M::AESV2), Doc->ObjectKey(7, 0, M::RC4));
  TPDFEngine E256;
  ASSERT_TRUE(E256.LoadFromFile(Fixture("aes-256.pdf")));
  ASSERT_EQ(E256.SetPassword("owner"), TPDFPasswordResult::Owner);
  // AES-256 uses the file key for every object.
  TPDFDocument* Doc256 = E256.SelectedDocument();
  EXPECT_EQ(Doc256->ObjectKey(7, 0, M::AESV3).size(), 32u);
  EXPECT_EQ(Doc256->ObjectKey(7, 0, M::AESV3), Doc256->ObjectKey(8, 1, M::AESV3));
}

TEST(TPDFEngineSecurity, StreamsWithTheirOwnCryptFilter) {
  // Page 1's content is stored in clear under the Identity crypt filter of an
  // AES-256 file; page 2's is encrypted as usual.
  TPDFEngine E;
  ASSERT_TRUE(E.LoadFromFile(Fixture("aes-256-crypt-filter.pdf")));
  ASSERT_EQ(E.SetPassword("user"), TPDFPasswordResult::User);
  ASSERT_EQ(E.SelectPage(1), 1);
  EXPECT_EQ(E.GetPageText(TPDFTextMode::Plain), "Stored in clear");
  ASSERT_EQ(E.SelectPage(2), 1);
  EXPECT_EQ(E.GetPageText(TPDFTextMode::Plain).substr(0, 11), "Second page");
}

TEST(TPDFEngineSecurity, FormsNamedOnlyInFormResources) {
  // A form named by another form's resources is decrypted with the page.
  TPDFEngine E;
  ASSERT_TRUE(E.LoadFromFile(Fixture("aes-128-nested-form.pdf")));
  ASSERT_EQ(E.SetPassword("owner"), TPDFPasswordResult::Owner);
  ASSERT_EQ(E.SelectPage(1), 1);
  EXPECT_NE(E.GetPageText(TPDFTextMode::Blocks).find("\"Nested form text\""), std::string::npos);
}

TEST(TPDFEngineSecurity, PasswordsBeyondASCII) {
  // qpdf stores "pässwörd" / "öwnér" in UTF-8 for AES-256 and in
  // PDFDocEncoding for RC4; both open typed in UTF-8 or in CP1252.
  const std::string UserUTF8 = "p\xC3\xA4ssw\xC3\xB6rd", OwnerUTF8 = "\xC3\xB6wn\xC3\xA9r";
  const std::string UserDecomposed = "pa\xCC\x88sswo\xCC\x88rd";  // SASLprep composes it
  const std::string UserCP1252 = "p\xE4ssw\xF6rd", OwnerCP1252 = "\xF6wn\xE9r";
  struct TCase {
    const char* File;
    const char* CodePage;
    std::string Password;
    int Result;
  } Cases[] = {
      {"aes-256-non-ascii.pdf", "UTF-8", UserUTF8, 1},
      {"aes-256-non-ascii.pdf", "UTF-8", OwnerUTF8, 2},
      {"aes-256-non-ascii.pdf", "UTF-8", UserDecomposed, 1},
      {"aes-256-non-ascii.pdf", "CP1252", UserCP1252, 1},
      {"aes-256-non-ascii.pdf", "CP1252", OwnerCP1252, 2},
      {"aes-256-non-ascii.pdf", "UTF-8", UserCP1252, 0},  // not what was typed in UTF-8
      {"rc4-128-non-ascii.pdf", "UTF-8", UserUTF8, 1},
      {"rc4-128-non-ascii.pdf", "UTF-8", OwnerUTF8, 2},
      {"rc4-128-non-ascii.pdf", "CP1252", UserCP1252, 1},
      {"rc4-128-non-ascii.pdf", "CP1252", OwnerCP1252, 2},
      {"rc4-128-non-ascii.pdf", "UTF-8", UserDecomposed, 0},  // no SASLprep below AES-256
  };
  for (const TCase& C : Cases) {
    TPDFEngine E;
    E.CodePage = TCodePage::Create(C.CodePage);
    ASSERT_TRUE(E.CodePage);
    ASSERT_TRUE(E.LoadFromFile(Fixture(C.File)));
    EXPECT_EQ(static_cast<int>(E.SetPassword(C.Password)), C.Result) << C.File << " " << C.CodePage << " " << C.Password;
    if (C.Result == 0) continue;
    EXPECT_EQ(E.SelectedDocument()->StoredPassword(), "!" + C.Password);  // as typed
    ASSERT_EQ(E.SelectPage(2), 1);
    EXPECT_EQ(E.GetPageText(TPDFTextMode::Plain).substr(0, 11), "Second page") << C.File << " " << C.Password;
  }
}

// The Encrypt dictionary of an AES-256 fixture with one entry's string
// replaced by Value (hex digits), in place: the file keeps its layout.
std::string WithEntry(std::string Data, const std::string& Key, const std::string& Value) {
  const size_t At = Data.find("/" + Key + " <");
  if (At == std::string::npos) return {};
  const size_t Start = At + Key.size() + 3, End = Data.find('>', Start);
  if (End == std::string::npos || Value.size() > End - Start) return {};
  Data.replace(Start, End - Start, Value + std::string(End - Start - Value.size(), ' '));
  return Data;
}

std::string ReadFixture(const std::string& Name) {
  std::ifstream In(Fixture(Name), std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

TEST(TPDFEngineSecurity, PermsMismatchIsReportedNotFatal) {
  const std::string Data = ReadFixture("aes-256.pdf");
  const size_t At = Data.find("/Perms <");
  ASSERT_NE(At, std::string::npos);
  std::string Flipped = Data;
  char& Digit = Flipped[At + 8];
  Digit = Digit == '0' ? '1' : '0';
  for (const auto& [File, Warnings] : {std::pair{Data, 0}, std::pair{Flipped, 1}}) {
    TPDFEngine E;
    std::vector<std::string> Seen;
    E.OnWarning = [&](const std::string& Text) { Seen.push_back(Text); };
    ASSERT_TRUE(E.LoadFromData(File));
    ASSERT_EQ(E.SetPassword("user"), TPDFPasswordResult::User);
    EXPECT_EQ(static_cast<int>(Seen.size()), Warnings);
    for (const std::string& Text : Seen) EXPECT_EQ(Text.find("user"), std::string::npos);  // no password in it
    ASSERT_EQ(E.SelectPage(2), 1);
    EXPECT_EQ(E.GetPageText(TPDFTextMode::Plain).substr(0, 11), "Second page");
  }
}

TEST(TPDFEngineSecurity, ShortAndHugeKeyValuesAreRefusedQuietly) {
  // Each value cut short or emptied: the password is refused, nothing breaks.
  const std::string Data = ReadFixture("aes-256.pdf");
  struct TCase {
    const char* Key;
    std::string Value;
    int User, Owner;  // SetPassword results for "user" and "owner"
  } Cases[] = {
      {"U", std::string(94, 'a'), 0, 0},   // 47 bytes: no key salt
      {"U", "", 0, 0},
      {"O", std::string(94, 'a'), 1, 0},   // the user password still opens
      {"UE", std::string(62, 'a'), 0, 2},  // 31 bytes: no file key from the user side
      {"OE", "", 1, 0},
      {"Perms", "00", 1, 2},               // reported, not fatal
  };
  for (const TCase& C : Cases) {
    const std::string Patched = WithEntry(Data, C.Key, C.Value);
    ASSERT_FALSE(Patched.empty()) << C.Key;
    for (const auto& [Password, Expected] : {std::pair{"user", C.User}, std::pair{"owner", C.Owner}}) {
      TPDFEngine E;
      ASSERT_TRUE(E.LoadFromData(Patched)) << C.Key;
      EXPECT_EQ(E.Encrypted(), TPDFEncryption::Supported);
      EXPECT_EQ(static_cast<int>(E.SetPassword(Password)), Expected) << C.Key << " " << Password;
      if (Expected) {
        EXPECT_EQ(E.PageCount(), 3) << C.Key;
      }
    }
  }
}

// Encrypt dictionaries of forms the handler does not take: state 2, "9" for
// every security item and result 4 from SetPassword; and values of any size.
TEST(TPDFEngineSecurity, UnsupportedFormsAndOddSizes) {
  auto Document = [](const std::string& Encrypt) {
    TTestPDFWriter W;
    W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
    W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
    W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
    W.AddStream(4, "<< >>", "0123456789abcdef0123456789abcde", false);  // 31 bytes: not whole blocks
    W.Add(5, 0, "<< /Filter /Standard " + Encrypt + " >>");
    W.Section().Root = "1 0 R";
    W.Section().Encrypt = "5 0 R";
    W.Section().ID = "[<00112233445566778899aabbccddeeff> <00112233445566778899aabbccddeeff>]";
    return W.Finish();
  };
  const std::string Huge = "<" + std::string(1 << 20, 'a') + ">";
  const std::string AESV2 = "/CF << /StdCF << /CFM /AESV2 /Length 16 >> >> /StmF /StdCF /StrF /StdCF";
  const std::string AESV3 = "/CF << /StdCF << /CFM /AESV3 /Length 32 >> >> /StmF /StdCF /StrF /StdCF";
  struct TCase {
    const char* Name;
    std::string Encrypt;
    int State;
  } Cases[] = {
      {"V 4 with R 3", "/V 4 /R 3 " + AESV2, 2},
      {"V 5 with R 4", "/V 5 /R 4 " + AESV3, 2},
      {"AES-256 filters under V 4", "/V 4 /R 4 " + AESV3, 2},
      {"AES-128 filters under V 5", "/V 5 /R 6 " + AESV2, 2},
      {"a method we lack", "/V 4 /R 4 /CF << /StdCF << /CFM /Other >> >> /StmF /StdCF /StrF /StdCF", 2},
      {"a filter CF lacks", "/V 4 /R 4 " + AESV2 + " /StmF /Missing", 2},
      {"CF not a dictionary", "/V 4 /R 4 /CF 7 /StmF /StdCF /StrF /StdCF", 2},
      {"V 6", "/V 6 /R 7 " + AESV3, 2},
      {"Identity everywhere", "/V 4 /R 4 /O <00> /U <00>", 1},
      {"AES-128, short O and U", "/V 4 /R 4 " + AESV2 + " /O <0011> /U <0011> /P -4", 1},
      {"AES-128, huge O and U", "/V 4 /R 4 " + AESV2 + " /O " + Huge + " /U " + Huge + " /P -4", 1},
      {"AES-256, huge values", "/V 5 /R 6 " + AESV3 + " /O " + Huge + " /U " + Huge + " /OE " + Huge + " /UE " + Huge +
                                   " /Perms " + Huge + " /P -4", 1},
      {"AES-256, no values", "/V 5 /R 5 " + AESV3, 1},
  };
  for (const TCase& C : Cases) {
    TPDFEngine E;
    ASSERT_TRUE(E.LoadFromData(Document(C.Encrypt))) << C.Name;
    EXPECT_EQ(static_cast<int>(E.Encrypted()), C.State) << C.Name;
    if (C.State == 2) {
      EXPECT_EQ(E.SecurityInfo(TPDFSecurityItem::KeyLength), TPDFSecurityValue::UnsupportedEncryption) << C.Name;
      EXPECT_EQ(E.SetPassword(""), TPDFPasswordResult::Unsupported) << C.Name;
      continue;
    }
    for (int Item = 0; Item <= 10; ++Item) E.SecurityInfo(static_cast<TPDFSecurityItem>(Item));
    for (const char* Password : {"", "user"}) EXPECT_EQ(E.SetPassword(Password), TPDFPasswordResult::Wrong) << C.Name;
  }
}

TEST(TPDFEngineSecurity, DamagedEncryptedFilesAreRebuilt) {
  // 500 bytes after the header line shift every offset; object streams of
  // an encrypted file are read once a password opens it.
  for (const char* Name : {"rc4-40-empty-user.pdf", "rc4-128.pdf", "rc4-128-objstm.pdf"}) {
    std::ifstream In(Fixture(Name), std::ios::binary);
    std::string File{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
    File.insert(File.find('\n') + 1, "%" + std::string(498, 'j') + "\n");
    for (bool Repair : {true, false}) {
      TPDFEngine E;
      E.Repair = Repair;
      ASSERT_EQ(E.LoadFromData(File).Ok(), Repair) << Name;
      if (!Repair) continue;
      EXPECT_TRUE(E.Rebuilt()) << Name;
      EXPECT_EQ(E.Encrypted(), TPDFEncryption::Supported) << Name;
      if (std::string(Name) != "rc4-40-empty-user.pdf") {
        EXPECT_EQ(E.SetPassword("user"), TPDFPasswordResult::User) << Name;
      }
      ASSERT_EQ(E.PageCount(), 3) << Name;
      EXPECT_EQ(E.SelectPage(2), 1);
      EXPECT_EQ(E.GetPageText(TPDFTextMode::Plain).substr(0, 11), "Second page") << Name;
    }
  }
}

TEST(TPDFEngineSecurity, SetPasswordResults) {
  TPDFEngine Plain;
  ASSERT_TRUE(Plain.LoadFromFile(Sample));
  EXPECT_EQ(Plain.SetPassword("anything"), TPDFPasswordResult::NotEncrypted);
  EXPECT_EQ(Plain.SelectedDocument()->StoredPassword(), "!");
  for (const char* File : {"rc4-128-same.pdf", "aes-256-same.pdf"}) {
    TPDFEngine Same;
    ASSERT_TRUE(Same.LoadFromFile(Fixture(File)));
    EXPECT_EQ(Same.SetPassword("same"), TPDFPasswordResult::UserAndOwner) << File;
    EXPECT_EQ(Same.PageCount(), 3) << File;
  }
  // The empty user password opens at load.
  TPDFEngine Empty;
  ASSERT_TRUE(Empty.LoadFromFile(Fixture("rc4-40-empty-user.pdf")));
  EXPECT_EQ(Empty.SelectedDocument()->StoredPassword(), "!");
  EXPECT_EQ(Empty.PageCount(), 3);
}

TEST(TPDFEngineSecurity, LongPasswordsAndPermissions) {
  // Only the first 32 bytes of a password count.
  TPDFEngine Long;
  ASSERT_TRUE(Long.LoadFromFile(Fixture("rc4-128-long-password.pdf")));
  EXPECT_EQ(Long.SetPassword("0123456789abcdefghijklmnopqrstu"), TPDFPasswordResult::Wrong);  // 31 bytes: one short
  EXPECT_EQ(Long.SetPassword("0123456789abcdefghijklmnopqrstuv-anything"), TPDFPasswordResult::User);
  // No permission but accessibility (qpdf keeps that bit): item 8 alone allowed.
  TPDFEngine None;
  ASSERT_TRUE(None.LoadFromFile(Fixture("rc4-128-no-permissions.pdf")));
  std::string Items;
  for (int Item = 3; Item <= 9; ++Item) Items += std::to_string(static_cast<int>(None.SecurityInfo(static_cast<TPDFSecurityItem>(Item))));
  EXPECT_EQ(Items, "5555565");
}

TEST(TPDFEngineSecurity, SharedStreamsAndStreamDictionaries) {
  // Two pages share one content stream: it is decrypted once, and the
  // string in its dictionary with the stream's key.
  TPDFEngine E;
  ASSERT_TRUE(E.LoadFromFile(Fixture("rc4-40-shared-content.pdf")));
  ASSERT_EQ(E.SetPassword("user"), TPDFPasswordResult::User);
  for (int Page : {1, 2, 1}) {
    ASSERT_EQ(E.SelectPage(Page), 1);
    EXPECT_EQ(E.GetPageText(TPDFTextMode::Plain), "Shared text") << Page;
  }
  TPDFPageTree* Tree = E.SelectedDocument()->PageTree();
  ASSERT_GE(Tree->ContentCount(), 1);
  EXPECT_EQ(Tree->ContentStreams()[0]->Dictionary()->GetText("Note"), "a string in a stream dictionary");
}

TEST(TPDFEngineSecurity, CorpusFilesOpenWithUserAndOwnerPasswords) {
  const std::string File = std::string(VORLITH_CORPUS_DIR) + "/qpdf/enc-R3,V2,U=view,O=master.pdf";
  std::string Texts[2];
  int I = 0;
  for (const char* Password : {"view", "master"}) {
    TPDFEngine E;
    if (!E.LoadFromFile(File)) GTEST_SKIP() << "no corpus";
    ASSERT_NE(E.SetPassword(Password), TPDFPasswordResult::Wrong) << Password;
    E.SelectPage(1);
    Texts[I++] = E.GetPageText(TPDFTextMode::Plain);
  }
  EXPECT_FALSE(Texts[0].empty());
  EXPECT_EQ(Texts[0], Texts[1]);
}

}  // namespace

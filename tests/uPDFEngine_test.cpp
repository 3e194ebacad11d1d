// The engine facade: the document list, selection and page calls.
#include "uPDFEngine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <string>

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
  ASSERT_EQ(E.LoadFromFile(Sample), 1);
  TPDFDocument* A = E.SelectedDocument();
  ASSERT_EQ(E.LoadFromFile(Sample), 1);
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
  EXPECT_EQ(E.LoadFromFile("/nonexistent/file.pdf"), 0);
  EXPECT_EQ(E.LoadFromFile(VORLITH_SOURCE_DIR), 0);  // a folder
  EXPECT_EQ(E.LoadFromData("not a pdf at all"), 0);
  EXPECT_EQ(E.LoadFromData(""), 0);
  EXPECT_EQ(E.DocumentCount(), 1);
  EXPECT_EQ(E.SelectedDocument(), Before);
}

TEST(TPDFEngine, PagesSizesAndModes) {
  TPDFEngine E;
  ASSERT_EQ(E.LoadFromFile(Sample), 1);
  EXPECT_EQ(E.SelectPage(2), 1);
  EXPECT_EQ(E.SelectedPage(), 2);
  EXPECT_EQ(E.SelectPage(4), 0);  // outside: the current page stays
  EXPECT_EQ(E.SelectPage(0), 0);
  EXPECT_EQ(E.SelectedPage(), 2);
  E.SelectedDocument()->UnitScale = 25.4 / 72;  // millimetres
  E.SelectPage(1);
  EXPECT_NEAR(E.PageWidth(), 215.9, 1e-9);
  EXPECT_NEAR(E.PageHeight(), 279.4, 1e-9);
  EXPECT_EQ(E.GetPageText(5), "");
  EXPECT_EQ(E.GetPageText(-1), "");
  EXPECT_EQ(E.LastErrorCode(), 0);
}

TEST(TPDFEngine, PositionedModesFollowOriginAndScale) {
  TPDFEngine E;
  ASSERT_EQ(E.LoadFromFile(Sample), 1);
  E.SelectPage(1);
  // Field 4 of the first row: P0's y.
  auto FirstY = [&] {
    const std::string Rows = E.GetPageText(3);
    return std::stod(SplitString(Rows.substr(0, Rows.find("\r\n")), ",", '\\', "\"").at(4));
  };
  const double Bottom = FirstY();
  E.SelectedDocument()->Origin = 1;  // top left: y mirrored in the page height
  EXPECT_NEAR(FirstY(), 792 - Bottom, 0.001);
  E.SelectedDocument()->Origin = 0;
  E.SelectedDocument()->UnitScale = 0.5;
  EXPECT_NEAR(FirstY(), Bottom / 2, 0.001);
  EXPECT_FALSE(E.GetPageText(4).empty());
}

// ---------------------------------------------------------------- encrypted documents

std::string Fixture(const std::string& Name) { return std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/" + Name; }

TEST(TPDFEngineSecurity, PasswordsAndText) {
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
      {"aes-128.pdf", 2, 0, "user", "owner", "9 9 9 9 9 9 9 9 9 9 9"},
  };
  for (const auto& C : Cases) {
    for (const char* Password : {C.User, C.Owner, "wrong"}) {
      TPDFEngine E;
      ASSERT_EQ(E.LoadFromFile(Fixture(C.File)), 1) << C.File;
      TPDFDocument* Doc = E.SelectedDocument();
      EXPECT_EQ(E.Encrypted(), C.State) << C.File;
      EXPECT_EQ(Doc->EncryptionStrength(), C.Strength) << C.File;
      std::string Security;
      for (int Item = 0; Item <= 10; ++Item) Security += (Item ? " " : "") + std::to_string(E.SecurityInfo(Item));
      EXPECT_EQ(Security, C.Security) << C.File;
      const int Result = E.SetPassword(Password);
      const std::string Wrong = "wrong";
      if (C.State == 2) {
        EXPECT_EQ(Result, 4) << C.File;
        EXPECT_EQ(E.PageCount(), 3) << C.File;  // the dictionaries are not encrypted
        continue;
      }
      const int Expected = Password == Wrong ? 0 : Password == std::string(C.Owner) ? 2 : 1;
      EXPECT_EQ(Result, Expected) << C.File << " " << Password;
      if (Result == 0 && std::string(C.User).size()) {
        EXPECT_EQ(Doc->StoredPassword(), "") << C.File;  // a wrong password changes nothing
        continue;
      }
      ASSERT_EQ(E.PageCount(), 3) << C.File << " " << Password;
      EXPECT_EQ(E.SelectPage(2), 1);
      EXPECT_EQ(E.GetPageText(0).substr(0, 11), "Second page") << C.File << " " << Password;
      EXPECT_EQ(Doc->ObjectKey(12, 0).size(), C.Strength == 40 ? 10u : 16u);
    }
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
      ASSERT_EQ(E.LoadFromData(File), Repair ? 1 : 0) << Name;
      if (!Repair) continue;
      EXPECT_TRUE(E.Rebuilt()) << Name;
      EXPECT_EQ(E.Encrypted(), 1) << Name;
      if (std::string(Name) != "rc4-40-empty-user.pdf") EXPECT_EQ(E.SetPassword("user"), 1) << Name;
      ASSERT_EQ(E.PageCount(), 3) << Name;
      EXPECT_EQ(E.SelectPage(2), 1);
      EXPECT_EQ(E.GetPageText(0).substr(0, 11), "Second page") << Name;
    }
  }
}

TEST(TPDFEngineSecurity, SetPasswordResults) {
  TPDFEngine Plain;
  ASSERT_EQ(Plain.LoadFromFile(Sample), 1);
  EXPECT_EQ(Plain.SetPassword("anything"), 3);
  EXPECT_EQ(Plain.SelectedDocument()->StoredPassword(), "!");
  TPDFEngine Same;
  ASSERT_EQ(Same.LoadFromFile(Fixture("rc4-128-same.pdf")), 1);
  EXPECT_EQ(Same.SetPassword("same"), 5);
  EXPECT_EQ(Same.PageCount(), 3);
  // The empty user password opens at load.
  TPDFEngine Empty;
  ASSERT_EQ(Empty.LoadFromFile(Fixture("rc4-40-empty-user.pdf")), 1);
  EXPECT_EQ(Empty.SelectedDocument()->StoredPassword(), "!");
  EXPECT_EQ(Empty.PageCount(), 3);
}

TEST(TPDFEngineSecurity, LongPasswordsAndPermissions) {
  // Only the first 32 bytes of a password count.
  TPDFEngine Long;
  ASSERT_EQ(Long.LoadFromFile(Fixture("rc4-128-long-password.pdf")), 1);
  EXPECT_EQ(Long.SetPassword("0123456789abcdefghijklmnopqrstu"), 0);  // 31 bytes: one short
  EXPECT_EQ(Long.SetPassword("0123456789abcdefghijklmnopqrstuv-anything"), 1);
  // No permission but accessibility (qpdf keeps that bit): item 8 alone allowed.
  TPDFEngine None;
  ASSERT_EQ(None.LoadFromFile(Fixture("rc4-128-no-permissions.pdf")), 1);
  std::string Items;
  for (int Item = 3; Item <= 9; ++Item) Items += std::to_string(None.SecurityInfo(Item));
  EXPECT_EQ(Items, "5555565");
}

TEST(TPDFEngineSecurity, SharedStreamsAndStreamDictionaries) {
  // Two pages share one content stream: it is decrypted once, and the
  // string in its dictionary with the stream's key.
  TPDFEngine E;
  ASSERT_EQ(E.LoadFromFile(Fixture("rc4-40-shared-content.pdf")), 1);
  ASSERT_EQ(E.SetPassword("user"), 1);
  for (int Page : {1, 2, 1}) {
    ASSERT_EQ(E.SelectPage(Page), 1);
    EXPECT_EQ(E.GetPageText(0), "Shared text") << Page;
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
    ASSERT_NE(E.SetPassword(Password), 0) << Password;
    E.SelectPage(1);
    Texts[I++] = E.GetPageText(0);
  }
  EXPECT_FALSE(Texts[0].empty());
  EXPECT_EQ(Texts[0], Texts[1]);
}

}  // namespace

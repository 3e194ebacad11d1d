// The security handler on its own: a trailer and its Encrypt dictionary in,
// state, strength, methods and password tests out, with no document.
#include "uPDFSecurity.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CodePage.h"
#include "uPDFStructure.h"

namespace {

struct THandler {
  TPDFStructure Structure;
  TPDFSecurityHandler Handler{TCodePage::Create("UTF-8")};
  explicit THandler(const std::string& Trailer) {
    Handler.DocumentID = [] { return std::string(16, '\x11'); };
    Handler.Read(As<TPDFDictionary>(Structure.ParseObject(Trailer)));
  }
};

TEST(TPDFSecurityHandler, WhatTheEncryptDictionarySays) {
  using M = TPDFCryptMethod;
  const std::string AESV2 = "/CF << /StdCF << /CFM /AESV2 /Length 16 >> >> /StmF /StdCF /StrF /StdCF";
  struct TCase {
    const char* Name;
    std::string Trailer;
    int State, Strength;
    M Strings, Streams;
  } Cases[] = {
      {"no Encrypt", "<< /Size 3 >>", 0, 0, M::None, M::None},
      {"another handler", "<< /Encrypt << /Filter /Other /V 2 /R 3 /Length 128 >> >>", 2, 0, M::None, M::None},
      {"RC4 40", "<< /Encrypt << /Filter /Standard /V 1 /R 2 >> >>", 1, 40, M::RC4, M::RC4},
      {"RC4 128", "<< /Encrypt << /Filter /Standard /V 2 /R 3 /Length 128 >> >>", 1, 128, M::RC4, M::RC4},
      {"AES-128 filters", "<< /Encrypt << /Filter /Standard /V 4 /R 4 " + AESV2 + " >> >>", 1, 128, M::AESV2,
       M::AESV2},
      {"strings in clear", "<< /Encrypt << /Filter /Standard /V 4 /R 4 " + AESV2 + " /StrF /Identity >> >>", 1, 128,
       M::None, M::AESV2},
      {"V 1 with R 4", "<< /Encrypt << /Filter /Standard /V 1 /R 4 >> >>", 2, 0, M::None, M::None},
  };
  for (const TCase& C : Cases) {
    THandler H(C.Trailer);
    EXPECT_TRUE(H.Handler.IsRead());
    EXPECT_EQ(H.Handler.EncryptionState(), C.State) << C.Name;
    EXPECT_EQ(H.Handler.EncryptionStrength(), C.Strength) << C.Name;
    EXPECT_EQ(H.Handler.StringMethod(), C.Strings) << C.Name;
    EXPECT_EQ(H.Handler.StreamMethod(), C.Streams) << C.Name;
  }
}

// Without encryption only the empty password passes; a refused password
// forgets the one accepted before.
TEST(TPDFSecurityHandler, PasswordsWithoutEncryption) {
  THandler H("<< /Size 3 >>");
  bool KeyChanged = false;
  EXPECT_TRUE(H.Handler.Accept("", KeyChanged));
  EXPECT_TRUE(KeyChanged);
  EXPECT_EQ(H.Handler.StoredPassword(), "!");
  EXPECT_FALSE(H.Handler.Accept("secret", KeyChanged));
  EXPECT_FALSE(KeyChanged);
  EXPECT_EQ(H.Handler.StoredPassword(), "");
}

// An Encrypt dictionary held by reference is never decrypted: the handler
// names its object.
TEST(TPDFSecurityHandler, EncryptHeldByReference) {
  TPDFStructure Structure;
  Structure.OnResolveReference = [&Structure](TPDFIndRef*, int32_t, int32_t) {
    return Structure.ParseObject("<< /Filter /Standard /V 2 /R 3 /Length 128 >>");
  };
  TPDFSecurityHandler Handler(TCodePage::Create("UTF-8"));
  Handler.Read(As<TPDFDictionary>(Structure.ParseObject("<< /Encrypt 9 0 R >>")));
  EXPECT_EQ(Handler.EncryptNumber(), 9);
  EXPECT_EQ(Handler.EncryptionState(), 1);
}

}  // namespace

// The standard security handler: what a document's Encrypt dictionary says,
// the password tests, the file key, the permissions, and the decryption of
// strings and streams with the keys derived from it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TCodePage;
class TPDFDictionary;
class TPDFObject;

// How strings or streams of a document are encrypted.
enum class TPDFCryptMethod : uint8_t { None, RC4, AESV2, AESV3 };

// The security state of one document. Owned by the document, which reads it
// once from its trailer (Read) and asks it everything about passwords and
// keys; objects stay the document's. Not for use from several threads.
class TPDFSecurityHandler {
 public:
  // Passwords are typed in CodePage (not null).
  explicit TPDFSecurityHandler(std::shared_ptr<const TCodePage> CodePage);

  // Reads the trailer's Encrypt entry (Trailer may be null: not encrypted).
  // The document's first ID string is asked for through DocumentID when a
  // key is computed.
  void Read(TPDFDictionary* Trailer);
  bool IsRead() const { return FRead; }

  // 0 not encrypted; 1 the standard handler in a supported form: RC4 (V 1 or
  // 2, R 2 or 3), crypt filters with RC4 or AES-128 (V 4, R 4) or AES-256
  // (V 5, R 5 or 6); 2 encrypted in any other way.
  int EncryptionState() const;
  // Key strength in bits: 40 for V 1, Length for V 2 (0 when absent), the key
  // length of the crypt filters for V 4 (128 with AES), 256 for V 5; 0 when
  // unsupported.
  int EncryptionStrength() const { return FStrength; }
  // Whether the supported handler needs OpenSSL's libcrypto (AES, or the
  // SHA-2 of revisions 5 and 6).
  bool NeedsLibCrypto() const {
    return FEncryptV == 5 || FStringMethod == TPDFCryptMethod::AESV2 || FStreamMethod == TPDFCryptMethod::AESV2 ||
           FStringMethod == TPDFCryptMethod::AESV3 || FStreamMethod == TPDFCryptMethod::AESV3;
  }
  // V of a supported dictionary, else 0.
  int Version() const { return FEncryptV; }
  // The permission value of the last password test.
  int32_t Permissions() const { return FPermissions; }
  // The object that holds the Encrypt dictionary (never decrypted); 0 when it
  // is direct.
  int32_t EncryptNumber() const { return FEncryptNumber; }

  // Password is in the code page. For R 2 to 4 it is taken as it is and,
  // when refused and not plain ASCII, in PDFDocEncoding; for R 5 and 6 in
  // UTF-8 prepared with SASLprep. Without encryption only the empty text
  // passes.
  bool CheckUserPassword(const std::string& Password);
  bool CheckOwnerPassword(const std::string& Password);
  // Accepts Password when either test passes: the key is set from then on,
  // and KeyChanged tells whether it differs from the key before. A refused
  // password forgets the one accepted before (false).
  bool Accept(const std::string& Password, bool& KeyChanged);
  // "!" and the last accepted password; empty when none was accepted.
  const std::string& StoredPassword() const { return FStoredPassword; }

  // The methods that strings and streams use (StrF and StmF of V 4 and 5;
  // RC4 for both below V 4; None when not supported).
  TPDFCryptMethod StringMethod() const { return FStringMethod; }
  TPDFCryptMethod StreamMethod() const { return FStreamMethod; }
  // The key of one indirect object for Method: RC4 and AES-128 keys are
  // derived from the document key, object number and generation ("sAlT" added
  // for AES-128); AES-256 uses the document key itself.
  std::string ObjectKey(int32_t ObjectNumber, int32_t Generation, TPDFCryptMethod Method) const;
  // Decrypts the strings and stream data in Obj and below it, with the keys
  // of indirect object ObjectNumber Generation: strings by the string method,
  // streams by the stream method or their own Crypt filter. Cross-reference
  // streams, and metadata streams that the document leaves in clear, are
  // left as they are.
  void DecryptValue(int32_t ObjectNumber, int32_t Generation, TPDFObject* Obj) const;

  // The first string of the document's ID (empty when there is none).
  std::function<std::string()> DocumentID;
  // Told what the handler recovered from (a Perms entry that does not
  // match); may be empty. Never given a password.
  std::function<void(const std::string&)> OnWarning;

 private:
  struct TObjectKeys;
  bool ReadCryptFilters(TPDFDictionary* Encrypt);
  void PrepareTest();
  void ComputeKey();
  // The user's or owner's password as typed, then (R 2 to 4, not plain
  // ASCII) in PDFDocEncoding.
  bool CheckPassword(const std::string& Password, bool Owner);
  // The tests on one form of the password (bytes as the handler hashes them).
  bool CheckUserPasswordBytes(const std::string& Password);
  bool CheckOwnerPasswordBytes(const std::string& Password);
  // Computes U from User and the document's O; whether it matches the stored U.
  bool UserPasswordGivesU(const std::string& User);
  // The revision 5 and 6 tests: the file key into FComputedKey when they pass.
  bool CheckAES256Password(const std::string& Password, bool Owner);
  void CheckPerms();
  void Warn(const std::string& Text) const;
  void DecryptValue(TObjectKeys& Keys, TPDFObject* Obj, int Depth) const;

  std::shared_ptr<const TCodePage> FCodePage;
  bool FRead = false, FEncryptPresent = false;
  int FStrength = 0, FEncryptR = 0, FEncryptV = 0;
  std::string FOValue, FUValue;
  // V 5: the encrypted file keys and the encrypted permissions.
  std::string FOEValue, FUEValue, FPermsValue;
  int32_t FPValue = 0, FPermissions = 0;
  std::string FStoredPassword, FDocumentKey, FComputedKey;
  uint8_t FPermitGroup1 = 0, FPermitGroup2 = 0;
  bool FMode128 = false, FShortP = false;
  std::string FWorkO, FWorkU, FWorkOwnerPassword, FWorkUserPassword;
  // V 4 and 5: the document key's length in bytes, the methods of strings and
  // streams, the crypt filters by name, and whether metadata are encrypted.
  size_t FKeyBytes = 0;
  TPDFCryptMethod FStringMethod = TPDFCryptMethod::None, FStreamMethod = TPDFCryptMethod::None;
  std::vector<std::pair<std::string, TPDFCryptMethod>> FCryptFilters;
  bool FEncryptMetadata = true;
  int32_t FEncryptNumber = 0;
};

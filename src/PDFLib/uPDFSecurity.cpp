// The standard security handler.
#include "uPDFSecurity.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "CodePage.h"
#include "uPDFDigest.h"
#include "uPDFEncrypt.h"
#include "uPDFPassword.h"
#include "uPDFStructure.h"

namespace {

// The padding of passwords.
const std::string Padding(
    "\x28\xBF\x4E\x5E\x4E\x75\x8A\x41\x64\x00\x4E\x56\xFF\xFA\x01\x08"
    "\x2E\x2E\x00\xB6\xD0\x68\x3E\x80\x2F\x0C\xA9\xFE\x64\x53\x69\x7A",
    32);

std::string Pad(const std::string& Password) { return (Password.substr(0, 32) + Padding).substr(0, 32); }

std::string XorKey(const std::string& Key, int By) {
  std::string K = Key;
  for (char& C : K) C = static_cast<char>(static_cast<unsigned char>(C) ^ By);
  return K;
}

// Objects nest no deeper than this when they are decrypted.
constexpr int MaxDecryptDepth = 256;

// Sizes of the revision 5 and 6 values: a 32-byte hash, an 8-byte validation
// salt and an 8-byte key salt in O and U; a 32-byte encrypted key in OE and
// UE; one AES block in Perms.
constexpr size_t HashSize = 32, SaltSize = 8, SaltedSize = HashSize + 2 * SaltSize, AESBlock = 16;

bool HasNonASCII(std::string_view Text) {
  return std::any_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) >= 0x80; });
}

// The hash of revisions 5 and 6 over a prepared password, a salt and, for the
// owner, the 48 bytes of U. Revision 5: SHA-256 of the three. Revision 6:
// rounds of AES-128 and SHA-256/384/512 until at least 64 have run and the
// last byte of the last AES output allows stopping.
std::string AES256Hash(int R, std::string_view Password, std::string_view Salt, std::string_view UserKey) {
  std::string Input;
  Input.reserve(Password.size() + Salt.size() + UserKey.size());
  Input.append(Password).append(Salt).append(UserKey);
  std::string K = SHA256Digest(Input);
  if (R < 6) return K;
  std::string Block, K1;
  std::string E;
  // Each round ends with a 32, 48 or 64-byte K. The round count of a real
  // file stays near 64: the last byte must not exceed the round number - 32,
  // which holds after round 288 at the latest.
  for (int Round = 0; Round < 64 || static_cast<unsigned char>(E.back()) > Round - 32; ++Round) {
    if (K.size() < 32) return {};  // the library failed
    Block.clear();
    Block.append(Password).append(K).append(UserKey);
    K1.clear();
    K1.reserve(Block.size() * 64);
    for (int I = 0; I < 64; ++I) K1 += Block;
    E = AESEncryptCBC(std::string_view(K).substr(0, 16), std::string_view(K).substr(16, 16), K1);
    if (E.size() < 16) return {};
    // The first 16 bytes as a number modulo 3 (256 is 1 modulo 3: the byte sum).
    unsigned Sum = 0;
    for (int I = 0; I < 16; ++I) Sum += static_cast<unsigned char>(E[I]);
    K = Sum % 3 == 0 ? SHA256Digest(E) : Sum % 3 == 1 ? SHA384Digest(E) : SHA512Digest(E);
  }
  return K.substr(0, HashSize);
}

}  // namespace

TPDFSecurityHandler::TPDFSecurityHandler(std::shared_ptr<const TCodePage> CodePage) : FCodePage(std::move(CodePage)) {}

void TPDFSecurityHandler::Read(TPDFDictionary* Trailer) {
  FStrength = FEncryptR = FEncryptV = 0;
  FPValue = 0;
  FOValue.clear();
  FUValue.clear();
  FOEValue.clear();
  FUEValue.clear();
  FPermsValue.clear();
  FKeyBytes = 0;
  FStringMethod = FStreamMethod = TPDFCryptMethod::None;
  FCryptFilters.clear();
  FEncryptMetadata = true;
  FEncryptNumber = 0;
  FRead = true;
  FEncryptPresent = Trailer && Trailer->IndexOfKey("Encrypt") >= 0;
  if (!FEncryptPresent) return;
  if (auto* Ref = As<TPDFIndRef>(Trailer->GetValue("Encrypt", false))) FEncryptNumber = Ref->Number;
  auto* Encrypt = As<TPDFDictionary>(Trailer->GetValue("Encrypt", true));
  if (!Encrypt) return;
  const auto* Filter = As<TPDFName>(Encrypt->GetValue("Filter", true));
  auto Direct = [&](const char* Key) {
    const auto* N = As<TPDFNumeric>(Encrypt->GetValue(Key, false));
    return N ? N->IntValue() : 0;
  };
  auto DirectString = [&](const char* Key) {
    const auto* S = As<TPDFString>(Encrypt->GetValue(Key, false));
    return S ? S->Value() : std::string();
  };
  const int V = Direct("V"), R = Direct("R"), Length = Direct("Length");
  if (!Filter || Filter->Value() != "Standard") return;
  auto Accept = [&] {
    FEncryptR = R;
    FEncryptV = V;
    FOValue = DirectString("O");
    FUValue = DirectString("U");
    FPValue = Direct("P");
  };
  if ((V == 1 || V == 2) && (R == 2 || R == 3)) {
    Accept();
    FStrength = V == 1 ? 40 : Length;
    FKeyBytes = FStrength != 40 ? 16 : 5;
    FStringMethod = FStreamMethod = TPDFCryptMethod::RC4;
    return;
  }
  if (!((V == 4 && R == 4) || (V == 5 && (R == 5 || R == 6)))) return;
  // Crypt filters: strings and streams each name one; Identity and the
  // method None leave them in clear.
  int RC4Bits = 0;
  if (!ReadCryptFilters(Encrypt)) return;
  auto Method = [&](const char* Key, TPDFCryptMethod& Out) {
    const auto* Name = As<TPDFName>(Encrypt->GetValue(Key, true));
    const std::string FilterName = Name ? Name->Value() : "Identity";
    if (FilterName == "Identity") {
      Out = TPDFCryptMethod::None;
      return true;
    }
    for (const auto& [N, M] : FCryptFilters)
      if (N == FilterName) {
        Out = M;
        if (M == TPDFCryptMethod::RC4 && RC4Bits == 0) {
          auto* CF = As<TPDFDictionary>(Encrypt->GetValue("CF", true));
          auto* Dict = CF ? As<TPDFDictionary>(CF->GetValue(FilterName, true)) : nullptr;
          const auto* Bits = Dict ? As<TPDFNumeric>(Dict->GetValue("Length", true)) : nullptr;
          RC4Bits = Bits ? Bits->IntValue() : 0;
        }
        return true;
      }
    return false;  // a filter the dictionary does not define, or of a method we lack
  };
  if (!Method("StrF", FStringMethod) || !Method("StmF", FStreamMethod)) return;
  auto Uses = [&](TPDFCryptMethod M) { return FStringMethod == M || FStreamMethod == M; };
  if (const auto* Meta = As<TPDFBoolean>(Encrypt->GetValue("EncryptMetadata", true))) FEncryptMetadata = Meta->Value();
  if (V == 4) {
    if (Uses(TPDFCryptMethod::AESV3)) return;  // AES-256 keys come with V 5 only
    Accept();
    if (Uses(TPDFCryptMethod::AESV2)) {
      FKeyBytes = 16;
    } else {
      // RC4 with the filter's length (some writers give it in bytes), else the
      // dictionary's, else 128 bits.
      int Bits = RC4Bits > 0 ? RC4Bits : Length > 0 ? Length : 128;
      if (Bits <= 16) Bits *= 8;
      FKeyBytes = static_cast<size_t>(std::clamp(Bits, 40, 128) / 8);
    }
    FStrength = static_cast<int>(FKeyBytes * 8);
  } else {
    if (Uses(TPDFCryptMethod::RC4) || Uses(TPDFCryptMethod::AESV2)) return;  // V 5 keys are for AES-256 only
    Accept();
    FOEValue = DirectString("OE");
    FUEValue = DirectString("UE");
    FPermsValue = DirectString("Perms");
    FKeyBytes = 32;
    FStrength = 256;
  }
}

// The crypt filters of CF by name, with the methods we know; false when CF is
// there but not a dictionary.
bool TPDFSecurityHandler::ReadCryptFilters(TPDFDictionary* Encrypt) {
  TPDFObject* Value = Encrypt->GetValue("CF", true);
  if (!Value) return true;
  auto* CF = As<TPDFDictionary>(Value);
  if (!CF) return false;
  for (const auto& [Key, Entry] : CF->Entries()) {
    if (!Key) continue;
    auto* Dict = As<TPDFDictionary>(CF->GetValue(Key->Value(), true));
    if (!Dict) continue;
    const auto* CFM = As<TPDFName>(Dict->GetValue("CFM", true));
    const std::string M = CFM ? CFM->Value() : "None";
    TPDFCryptMethod Method;
    if (M == "None")
      Method = TPDFCryptMethod::None;
    else if (M == "V2")
      Method = TPDFCryptMethod::RC4;
    else if (M == "AESV2")
      Method = TPDFCryptMethod::AESV2;
    else if (M == "AESV3")
      Method = TPDFCryptMethod::AESV3;
    else
      continue;
    FCryptFilters.emplace_back(Key->Value(), Method);
  }
  return true;
}

int TPDFSecurityHandler::EncryptionState() const {
  if (!FEncryptPresent) return 0;
  return FEncryptV != 0 ? 1 : 2;
}

void TPDFSecurityHandler::Warn(const std::string& Text) const {
  if (OnWarning) OnWarning(Text);
}

void TPDFSecurityHandler::PrepareTest() {
  FPermissions = FPValue;
  FShortP = static_cast<uint32_t>(FPValue) < 65536;
  const uint32_t P = static_cast<uint32_t>(FPermissions);
  FPermitGroup1 = (P & 4 ? 1 : 0) | (P & 8 ? 4 : 0) | (P & 16 ? 2 : 0) | (P & 32 ? 8 : 0);
  FPermitGroup2 = (P & 256 ? 1 : 0) | (P & 512 ? 2 : 0) | (P & 1024 ? 4 : 0) | (P & 2048 ? 8 : 0);
  // Revision 4 always computes as revision 3 does, with its filters' key length.
  FMode128 = FEncryptV == 4 || FStrength != 40;
}

void TPDFSecurityHandler::ComputeKey() {
  FComputedKey.clear();
  const size_t KeyLength = FEncryptV == 4 ? FKeyBytes : FMode128 ? 16 : 5;
  if (FPValue != 0) {
    FPermissions = FPValue;
  } else {
    // The value document encryption builds from the cleared flags.
    uint32_t V = static_cast<uint32_t>(-4);
    if (!(FPermitGroup1 & 1)) V &= ~uint32_t{4 | 3};
    if (!(FPermitGroup1 & 4)) V &= ~uint32_t{8 | 3};
    if (!(FPermitGroup1 & 2)) V &= ~uint32_t{16 | 3};
    if (!(FPermitGroup1 & 8)) V &= ~uint32_t{32 | 3};
    if (FMode128) {
      if (!(FPermitGroup2 & 1)) V &= ~uint32_t{256};
      if (!(FPermitGroup2 & 2)) V &= ~uint32_t{512};
      if (!(FPermitGroup2 & 4)) V &= ~uint32_t{1024};
      if (!(FPermitGroup2 & 8)) V &= ~uint32_t{2048};
    }
    if (FShortP) V &= 0xFFFF;
    FPermissions = static_cast<int32_t>(V);
  }
  auto Rounds = [&](std::string Digest) {
    if (FMode128)
      for (int I = 0; I < 50; ++I) Digest = MD5Digest(Digest.substr(0, KeyLength));
    return Digest.substr(0, KeyLength);
  };
  auto Chain = [&](const std::string& Key, std::string Data) {
    Data = RC4(Key, Data);
    if (FMode128)
      for (int I = 1; I <= 19; ++I) Data = RC4(XorKey(Key, I), Data);
    return Data;
  };
  if (FWorkO.empty()) {
    // The owner part: the O value from the owner password.
    const std::string OwnerKey =
        Rounds(MD5Digest(Pad(FWorkOwnerPassword.empty() ? FWorkUserPassword : FWorkOwnerPassword)));
    if (!FWorkU.empty())
      FComputedKey = OwnerKey;
    else
      FWorkU = FWorkUserPassword;
    FWorkO = Chain(OwnerKey, Pad(FWorkU));
  }
  // The key part.
  std::string Input = Pad(FWorkUserPassword) + FWorkO;
  const uint32_t P = static_cast<uint32_t>(FPermissions);
  for (int B = 0; B < 4; ++B) Input += static_cast<char>((P >> (8 * B)) & 0xFF);
  const std::string ID = DocumentID ? DocumentID() : std::string();
  Input += ID;
  // Revision 4 with metadata in clear says so in the key.
  if (FEncryptR >= 4 && !FEncryptMetadata) Input += std::string(4, '\xFF');
  const std::string Key = Rounds(MD5Digest(Input));
  if (FComputedKey.empty()) FComputedKey = Key;
  // The U part.
  if (FMode128)
    FWorkU = Chain(Key, MD5Digest(Padding + ID)) + std::string(16, '\0');
  else
    FWorkU = RC4(Key, Padding);
}

bool TPDFSecurityHandler::CheckUserPassword(const std::string& Password) { return CheckPassword(Password, false); }

bool TPDFSecurityHandler::CheckOwnerPassword(const std::string& Password) { return CheckPassword(Password, true); }

bool TPDFSecurityHandler::CheckPassword(const std::string& Password, bool Owner) {
  if (EncryptionState() == 0) return Password.empty();
  if (FEncryptV == 5) return CheckAES256Password(Password, Owner);
  const auto Bytes = [&](const std::string& Form) {
    return Owner ? CheckOwnerPasswordBytes(Form) : CheckUserPasswordBytes(Form);
  };
  if (Bytes(Password)) return true;
  // Typed in the console's or window's code page, stored in PDFDocEncoding.
  if (!HasNonASCII(Password)) return false;
  const std::optional<std::string> Doc = PasswordToPDFDoc(*FCodePage, Password);
  return Doc && *Doc != Password && Bytes(*Doc);
}

bool TPDFSecurityHandler::CheckUserPasswordBytes(const std::string& Password) {
  PrepareTest();
  FWorkOwnerPassword.clear();
  return UserPasswordGivesU(Password);
}

bool TPDFSecurityHandler::CheckOwnerPasswordBytes(const std::string& Password) {
  PrepareTest();
  FWorkOwnerPassword = FWorkUserPassword = Password;
  FWorkO.clear();
  FWorkU = FUValue;
  ComputeKey();
  // The user password from the O value: the chain follows R.
  std::string User = FOValue;
  if (FEncryptR == 2) {
    User = RC4(FComputedKey, User);
  } else if (FEncryptR >= 3) {
    for (int I = 19; I >= 0; --I) User = RC4(XorKey(FComputedKey, I), User);
  }
  return UserPasswordGivesU(User);
}

bool TPDFSecurityHandler::UserPasswordGivesU(const std::string& User) {
  FWorkUserPassword = User;
  FWorkO = FOValue;
  FWorkU.clear();
  ComputeKey();
  if (FStrength == 40 && FEncryptV != 4) return FWorkU == FUValue;
  return FWorkU.substr(0, 16) == FUValue.substr(0, 16) && FUValue.size() >= 16;
}

bool TPDFSecurityHandler::CheckAES256Password(const std::string& Password, bool Owner) {
  PrepareTest();
  FComputedKey.clear();
  // O and U hold a hash and two salts; only their first 48 bytes count (some
  // writers pad them to 127). Shorter values, or a short OE or UE, cannot
  // give a key.
  const std::string& Value = Owner ? FOValue : FUValue;
  const std::string& Encrypted = Owner ? FOEValue : FUEValue;
  if (Value.size() < SaltedSize || FUValue.size() < SaltedSize || Encrypted.size() < HashSize) return false;
  const std::string Prepared = PasswordForAES256(*FCodePage, Password);
  const std::string_view UserKey = Owner ? std::string_view(FUValue).substr(0, SaltedSize) : std::string_view();
  const std::string_view V(Value);
  if (AES256Hash(FEncryptR, Prepared, V.substr(HashSize, SaltSize), UserKey) != V.substr(0, HashSize)) return false;
  const std::string Intermediate = AES256Hash(FEncryptR, Prepared, V.substr(HashSize + SaltSize, SaltSize), UserKey);
  FComputedKey = AESDecryptCBC(Intermediate, {}, std::string_view(Encrypted).substr(0, HashSize));
  return FComputedKey.size() == HashSize;
}

// Perms holds the permissions encrypted under the file key; a value that
// does not match is reported and otherwise ignored, as other readers do.
void TPDFSecurityHandler::CheckPerms() {
  const std::string Plain = FPermsValue.size() >= AESBlock
                                ? AESDecryptCBC(FDocumentKey, {}, std::string_view(FPermsValue).substr(0, AESBlock))
                                : std::string();
  bool Match = Plain.size() == AESBlock && Plain.compare(9, 3, "adb") == 0;
  const uint32_t P = static_cast<uint32_t>(FPValue);
  for (int B = 0; Match && B < 4; ++B) Match = static_cast<unsigned char>(Plain[B]) == ((P >> (8 * B)) & 0xFF);
  if (!Match) Warn("The permissions of the document do not match its encryption (Perms); they are read from P.");
}

bool TPDFSecurityHandler::Accept(const std::string& Password, bool& KeyChanged) {
  KeyChanged = false;
  if (!(CheckUserPassword(Password) || CheckOwnerPassword(Password))) {
    FStoredPassword.clear();
    return false;
  }
  KeyChanged = FDocumentKey != FComputedKey || FStoredPassword.empty();
  FStoredPassword = "!" + Password;
  FDocumentKey = FComputedKey;
  if (KeyChanged && FEncryptV == 5) CheckPerms();
  return true;
}

// ---------------------------------------------------------------- object decryption

std::string TPDFSecurityHandler::ObjectKey(int32_t ObjectNumber, int32_t Generation, TPDFCryptMethod Method) const {
  if (Method == TPDFCryptMethod::AESV3) return FDocumentKey;
  std::string Input = FDocumentKey;
  const uint32_t N = static_cast<uint32_t>(ObjectNumber), G = static_cast<uint32_t>(Generation);
  for (int B = 0; B < 3; ++B) Input += static_cast<char>((N >> (8 * B)) & 0xFF);
  for (int B = 0; B < 2; ++B) Input += static_cast<char>((G >> (8 * B)) & 0xFF);
  if (Method == TPDFCryptMethod::AESV2) Input += "sAlT";
  return MD5Digest(Input).substr(0, std::min<size_t>(FDocumentKey.size() + 5, 16));
}

struct TPDFSecurityHandler::TObjectKeys {
  int32_t Number = 0, Generation = 0;
  std::string Keys[4];
  bool Made[4] = {};

  const std::string& For(const TPDFSecurityHandler& Handler, TPDFCryptMethod Method) {
    const auto I = static_cast<size_t>(Method);
    if (!Made[I]) {
      Keys[I] = Handler.ObjectKey(Number, Generation, Method);
      Made[I] = true;
    }
    return Keys[I];
  }

  // Data decrypted by Method, in place.
  void Decrypt(const TPDFSecurityHandler& Handler, TPDFCryptMethod Method, std::string& Data) {
    switch (Method) {
      case TPDFCryptMethod::None: return;
      case TPDFCryptMethod::RC4: RC4InPlace(For(Handler, Method), Data); return;
      case TPDFCryptMethod::AESV2:
      case TPDFCryptMethod::AESV3: Data = AESDecryptPDF(For(Handler, Method), Data); return;
    }
  }
};

void TPDFSecurityHandler::DecryptValue(int32_t ObjectNumber, int32_t Generation, TPDFObject* Obj) const {
  TObjectKeys Keys;
  Keys.Number = ObjectNumber;
  Keys.Generation = Generation;
  DecryptValue(Keys, Obj, 0);
}

void TPDFSecurityHandler::DecryptValue(TObjectKeys& Keys, TPDFObject* Obj, int Depth) const {
  if (!Obj || Depth > MaxDecryptDepth) return;
  if (auto* Dict = As<TPDFDictionary>(Obj)) {
    for (const auto& Entry : Dict->Entries()) DecryptValue(Keys, Entry.second, Depth + 1);
  } else if (auto* Array = As<TPDFArray>(Obj)) {
    for (TPDFObject* Item : Array->Items()) DecryptValue(Keys, Item, Depth + 1);
  } else if (auto* String = As<TPDFString>(Obj)) {
    if (FStringMethod == TPDFCryptMethod::None) return;
    std::string Bytes = String->Value();
    Keys.Decrypt(*this, FStringMethod, Bytes);
    String->SetValue(std::move(Bytes));
  } else if (auto* Stream = As<TPDFStream>(Obj)) {
    TPDFDictionary* Dict = Stream->Dictionary();
    const std::string Type = Dict->GetTypeName();
    // Cross-reference streams are stored in clear; so are metadata streams
    // when the Encrypt dictionary says so.
    if (Type == "XRef") return;
    TPDFCryptMethod Method = FStreamMethod;
    if (Type == "Metadata" && !FEncryptMetadata) Method = TPDFCryptMethod::None;
    // A stream's own Crypt filter (first in its chain) names the crypt filter
    // of its data: Identity when it names none.
    TPDFObject* Filter = Dict->GetValue(PDFKey::Filter, true);
    TPDFObject* Parms = Dict->GetValue("DecodeParms", true);
    if (auto* List = As<TPDFArray>(Filter)) {
      Filter = List->GetItem(0);
      // Parameters in an array go with the filters by position; a lone
      // dictionary is taken for the first filter's.
      if (auto* ParmList = As<TPDFArray>(Parms)) Parms = ParmList->GetItem(0);
      if (auto* Ref = As<TPDFIndRef>(Parms)) Parms = Ref->Resolve();
    }
    if (auto* Name = As<TPDFName>(Filter); Name && Name->Value() == "Crypt") {
      auto* ParmDict = As<TPDFDictionary>(Parms);
      auto* CryptName = ParmDict ? As<TPDFName>(ParmDict->GetValue("Name", true)) : nullptr;
      const std::string Wanted = CryptName ? CryptName->Value() : "Identity";
      Method = TPDFCryptMethod::None;
      for (const auto& [N, M] : FCryptFilters)
        if (N == Wanted) Method = M;
    }
    if (Method != TPDFCryptMethod::None) {
      std::string Bytes = Stream->RawData();
      Keys.Decrypt(*this, Method, Bytes);
      Stream->SetRawData(std::move(Bytes));
    }
    DecryptValue(Keys, Dict, Depth + 1);
  }
}

// Documents: the file in memory, the table of indirect objects with lazy
// parsing and object streams, and the load sequence.
#include "uPDFDocument.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <istream>
#include <limits>
#include <stdexcept>
#include <utility>

#include "CodePage.h"
#include "uPDFDigest.h"
#include "uPDFEncrypt.h"
#include "uPDFExtra.h"
#include "uPDFFontRasterizer.h"
#include "uPDFPageTree.h"
#include "uPDFXRef.h"

namespace {

// Loads that start other loads (an indirect Length, an object stream, a member
// of an object stream held in another object stream) nest no deeper than this.
constexpr int MaxLoadDepth = 64;

// Files are read in chunks of this size.
constexpr int64_t ReadChunk = 32 << 20;

bool IsNumberChar(unsigned char C) { return IsPDFDigit(C) || C == '.'; }

// The leading run of digits and "." of Text, after dropping the bytes before it.
std::string_view TakeNumberRun(std::string_view Text, size_t& I) {
  while (I < Text.size() && !IsNumberChar(static_cast<unsigned char>(Text[I]))) ++I;
  size_t Start = I;
  while (I < Text.size() && IsNumberChar(static_cast<unsigned char>(Text[I]))) ++I;
  return Text.substr(Start, I - Start);
}

// A Version run: digits with at most one ".", the empty run included.
bool IsVersionText(std::string_view Run) { return std::count(Run.begin(), Run.end(), '.') <= 1; }

std::string_view LeadingVersionRun(std::string_view After) {
  size_t I = 0;
  while (I < After.size() && IsNumberChar(static_cast<unsigned char>(After[I]))) ++I;
  return After.substr(0, I);
}

}  // namespace

// ================================================================ TPDFIndObj

TPDFObject* TPDFIndObj::GetObject() { return Document->LoadIndObj(this); }

// ================================================================ TPDFDocument

TPDFDocument::TPDFDocument(std::shared_ptr<const TCodePage> Page)
    : CodePage(Page ? std::move(Page) : TCodePage::Default()), FStructure(std::make_unique<TPDFStructure>()),
      FFontCache(std::make_unique<TPDFFontCache>()) {
  FStructure->OnResolveReference = [this](TPDFIndRef*, int32_t Number, int32_t Generation) {
    return LookupObject(Number, Generation);
  };
  FStructure->OnNewIndirect = [this](TPDFObject* Obj, int32_t& Number, int32_t& Generation) {
    TPDFIndObj* Rec = NewIndObj(Obj);
    Number = Rec->ObjectNumber;
    Generation = Rec->Generation;
  };
  Clear();
}

TPDFDocument::~TPDFDocument() = default;

void TPDFDocument::Clear() {
  FPageTree.reset();
  FObjectStreams.clear();
  FFontCache->Clear();
  FObjectTable.clear();
  FByNumber.clear();
  FRecords.clear();
  FHighestNumber = 0;
  FStructure->Clear();
  FTrailer = FStructure->NewDictionary();
  FFileData.clear();
  FFileData.shrink_to_fit();
  FVersion.clear();
  FLinearized = false;
  FEntries.clear();
  FSectionOffsets.clear();
  FEncryptPresent = FSecurityRead = false;
  FStrength = FEncryptR = FEncryptV = 0;
  FOValue.clear();
  FUValue.clear();
  FPValue = FPermissions = 0;
  FStoredPassword.clear();
  FMembersReadEarly = false;
  FPageTreeDeferred = false;
  ResetPageTree(nullptr);
}

void TPDFDocument::ResetPageTree(TPDFDictionary* Root) {
  FPageTree.reset();
  FPageTree = std::make_unique<TPDFPageTree>(this, Root);
  FPageTree->OnDecryptPage = [this](int32_t Number, int32_t Generation) { DecryptReachable(Number, Generation); };
}

bool TPDFDocument::LoadFromStream(std::istream& Stream) {
  std::string Data;
  try {
    const std::istream::pos_type Start = Stream.tellg();
    Stream.seekg(0, std::ios::end);
    const std::istream::pos_type End = Stream.tellg();
    if (Start == std::istream::pos_type(-1) || End == std::istream::pos_type(-1)) throw std::runtime_error("Read file error. code: 0");
    Stream.seekg(Start);
    const int64_t Size = static_cast<int64_t>(End - Start);
    // Offsets and lengths are 32-bit signed: bigger files cannot be held.
    if (Size >= (int64_t{1} << 31)) {
      Clear();
      ApplyPassword("");
      return false;
    }
    Data.resize(static_cast<size_t>(Size));
    for (int64_t Done = 0; Done < Size;) {
      const int64_t Want = std::min(ReadChunk, Size - Done);
      Stream.read(Data.data() + Done, Want);
      if (Stream.gcount() < Want) throw std::runtime_error("Read file error. code: " + std::to_string(errno));
      Done += Want;
    }
  } catch (const std::exception&) {
    Clear();
    ApplyPassword("");
    return false;
  }
  return LoadFromData(std::move(Data));
}

bool TPDFDocument::LoadFromData(std::string Data) {
  Clear();
  if (Data.size() >= (size_t{1} << 31)) return false;
  FFileData = std::move(Data);
  bool Ok = false;
  try {
    Ok = LoadSequence();
  } catch (const std::exception&) {
    Ok = false;
  }
  if (!Ok) Clear();
  ApplyPassword("");
  return Ok;
}

bool TPDFDocument::LoadSequence() {
  if (!CheckHeader()) return false;
  if (!ReadCrossReferences()) return false;
  // The empty password first, so that a document that opens with it reads
  // its catalog and page tree (often in object streams) decrypted. A
  // document that needs a password gets its page tree once one is accepted.
  ApplyPassword("");
  if (EncryptionState() == 1 && FStoredPassword.empty()) {
    FPageTreeDeferred = true;
  } else {
    ResetPageTree(GetPagesRoot());
    FPageTree->SelectPage(1);
  }
  CheckLinearized();
  return true;
}

bool TPDFDocument::CheckHeader() {
  std::string_view Head = std::string_view(FFileData).substr(0, 1024);
  size_t Pdf = Head.find("%PDF-");
  std::string_view After;
  if (Pdf != std::string_view::npos) {
    After = std::string_view(FFileData).substr(Pdf + 5, 10);
  } else {
    size_t Ps = Head.find("%!PS-Adobe-");
    if (Ps == std::string_view::npos) return false;
    std::string_view Tail = std::string_view(FFileData).substr(Ps + 11, 20);
    size_t P = Tail.find("PDF-");
    if (P == std::string_view::npos) return false;
    After = std::string_view(FFileData).substr(Ps + 11 + P + 4, 10);
  }
  if (After.empty()) return false;
  std::string_view Run = LeadingVersionRun(After);
  if (!IsVersionText(Run)) return false;
  FVersion.assign(Run);
  return true;
}

bool TPDFDocument::ReadCrossReferences() {
  TXRStringStream Source(FFileData);
  TPDFXRefReader Reader(&Source);
  Reader.OnEntry = [this](int32_t Number, int32_t V1, char Kind, int32_t V2) { AddEntry(Number, V1, Kind, V2); };
  Reader.OnTrailer = [this](const std::string& Text) { SetTrailerText(Text); };
  Reader.OnSection = [this](int32_t Offset) { FSectionOffsets.push_back(Offset); };
  FTrailer = nullptr;
  FEntries.clear();
  FEntries.reserve(1000);
  const int32_t Start = Reader.FindStartXRef();
  const bool Ok = Reader.ReadSection(Start);
  KeepFirstEntries();
  BuildObjectTable();
  FEntries = std::vector<TPDFXRefEntry>();
  if (!FTrailer) FTrailer = FStructure->NewDictionary();
  return Ok;
}

void TPDFDocument::AddEntry(int32_t ObjectNumber, int32_t Value1, char Kind, int32_t Value2) {
  if (Kind != 'n' && Kind != 'c') return;
  TPDFXRefEntry E;
  E.ObjectNumber = ObjectNumber;
  if (Kind == 'n') {
    E.Offset = Value1;
    E.Generation = Value2;
  } else {
    E.Compressed = true;
    E.StreamObjectNumber = Value1;
    E.StreamIndex = Value2;
  }
  FEntries.push_back(E);
}

void TPDFDocument::KeepFirstEntries() {
  // The newest section is reported first: the first report of a number wins,
  // whatever its generation.
  std::stable_sort(FEntries.begin(), FEntries.end(),
                   [](const TPDFXRefEntry& A, const TPDFXRefEntry& B) { return A.ObjectNumber < B.ObjectNumber; });
  FEntries.erase(std::unique(FEntries.begin(), FEntries.end(),
                             [](const TPDFXRefEntry& A, const TPDFXRefEntry& B) { return A.ObjectNumber == B.ObjectNumber; }),
                 FEntries.end());
}

void TPDFDocument::SetTrailerText(const std::string& Text) {
  if (FTrailer) return;  // only the newest trailer counts
  auto* Dict = As<TPDFDictionary>(FStructure->ParseObject(Text));
  if (!Dict) return;
  FTrailer = Dict;
  for (std::string_view Key : {"Prev", "Type", "W", "Index", "Length", "Filter"}) FTrailer->DeleteKey(Key);
}

void TPDFDocument::BuildObjectTable() {
  // Every offset the chain named, in file order; at equal offsets a section
  // comes first, then objects by number. An object's text runs to the next one.
  struct TKey {
    int64_t Offset;
    bool IsEntry;
    int32_t Number;
    size_t Entry;
  };
  std::vector<TKey> Keys;
  Keys.reserve(FSectionOffsets.size() + FEntries.size());
  for (int32_t Offset : FSectionOffsets) Keys.push_back({Offset, false, 0, 0});
  for (size_t I = 0; I < FEntries.size(); ++I)
    Keys.push_back({FEntries[I].Offset, true, FEntries[I].ObjectNumber, I});
  std::sort(Keys.begin(), Keys.end(), [](const TKey& A, const TKey& B) {
    if (A.Offset != B.Offset) return A.Offset < B.Offset;
    if (A.IsEntry != B.IsEntry) return !A.IsEntry;
    return A.Number < B.Number;
  });
  FObjectTable.clear();
  FByNumber.clear();
  FRecords.clear();
  FObjectTable.reserve(FEntries.size());
  FByNumber.reserve(FEntries.size());
  const int64_t FileLength = static_cast<int64_t>(FFileData.size());
  for (size_t K = 0; K < Keys.size(); ++K) {
    if (!Keys[K].IsEntry) continue;
    const TPDFXRefEntry& E = FEntries[Keys[K].Entry];
    if (E.Generation < 0) continue;
    const int64_t End = K + 1 < Keys.size() ? Keys[K + 1].Offset : FileLength;
    TPDFIndObj* Rec = &FRecords.emplace_back();
    Rec->Document = this;
    Rec->ObjectNumber = E.ObjectNumber;
    Rec->Generation = E.Generation;
    Rec->Offset = E.Offset;
    Rec->Length = static_cast<int32_t>(std::clamp<int64_t>(End - E.Offset, 0, INT32_MAX));
    Rec->Compressed = E.Compressed;
    Rec->StreamObjectNumber = E.StreamObjectNumber;
    Rec->StreamIndex = E.StreamIndex;
    FHighestNumber = std::max(FHighestNumber, E.ObjectNumber);
    FObjectTable.push_back(Rec);
  }
  FByNumber = FObjectTable;
  std::sort(FByNumber.begin(), FByNumber.end(),
            [](const TPDFIndObj* A, const TPDFIndObj* B) { return A->ObjectNumber < B->ObjectNumber; });
}

TPDFIndObj* TPDFDocument::FindIndObj(int32_t ObjectNumber, int32_t Generation) const {
  auto It = std::lower_bound(FByNumber.begin(), FByNumber.end(), ObjectNumber,
                             [](const TPDFIndObj* Rec, int32_t N) { return Rec->ObjectNumber < N; });
  return It != FByNumber.end() && (*It)->ObjectNumber == ObjectNumber && (*It)->Generation == Generation ? *It : nullptr;
}

TPDFObject* TPDFDocument::LookupObject(int32_t ObjectNumber, int32_t Generation) {
  TPDFIndObj* Rec = FindIndObj(ObjectNumber, Generation);
  return Rec ? Rec->GetObject() : nullptr;
}

TPDFIndObj* TPDFDocument::NewIndObj(TPDFObject* Obj) {
  TPDFIndObj* Rec = &FRecords.emplace_back();
  Rec->Document = this;
  Rec->ObjectNumber = FHighestNumber < INT32_MAX ? FHighestNumber + 1 : FHighestNumber;
  Rec->Loaded = true;
  Rec->Decrypted = true;
  Rec->Value = Obj;
  if (Obj) Obj->SetIndirect(Rec->ObjectNumber, 0);
  FHighestNumber = Rec->ObjectNumber;
  if (!FTrailer) FTrailer = FStructure->NewDictionary();
  auto* Size = As<TPDFNumeric>(FTrailer->GetValue("Size", false));
  if (!Size) {
    Size = FStructure->NewNumber(1);
    FTrailer->SetValue("Size", Size);
  }
  Size->SetValue(static_cast<double>(Rec->ObjectNumber) + 1);
  // One above the highest: appending keeps the lookup list sorted (at the
  // very top of the range the last number is taken again and shadows the old).
  if (!FByNumber.empty() && FByNumber.back()->ObjectNumber == Rec->ObjectNumber) FByNumber.pop_back();
  FByNumber.push_back(Rec);
  FObjectTable.push_back(Rec);
  return Rec;
}

// ---------------------------------------------------------------- loading objects

TPDFObject* TPDFDocument::LoadIndObj(TPDFIndObj* Rec) {
  if (Rec->Loaded) return Rec->Value;
  if (FLoadDepth >= MaxLoadDepth) return nullptr;  // not loaded now; a later call may
  struct TDepthGuard {
    int& D;
    explicit TDepthGuard(int& Depth) : D(Depth) { ++D; }
    ~TDepthGuard() { --D; }
  } Guard(FLoadDepth);
  Rec->Loaded = true;
  TPDFObject* Value = nullptr;
  if (Rec->Compressed) {
    // Members of object streams are decrypted with their stream, never alone.
    Rec->Decrypted = true;
    if (FStoredPassword.empty() && EncryptionState() == 1) FMembersReadEarly = true;
    Value = ParseObjectBody(Rec, CompressedText(Rec), false);
  } else if (Rec->Offset > 0 && Rec->Offset < static_cast<int64_t>(FFileData.size())) {
    Value = ParseObjectBody(Rec, std::string_view(FFileData).substr(Rec->Offset, Rec->Length), true);
  }
  if (!Value) Value = FStructure->NewNull();
  Value->SetIndirect(Rec->ObjectNumber, Rec->Generation);
  Rec->Value = Value;
  return Value;
}

// Parses an object's text: "N G obj" and the object (WithHeader), or just the
// object (a member of an object stream, whose header is known to match).
TPDFObject* TPDFDocument::ParseObjectBody(const TPDFIndObj* Rec, std::string_view Text, bool WithHeader) {
  std::string_view Body = Text;
  if (WithHeader) {
    size_t I = 0;
    const int32_t Number = ReadInt32(TakeNumberRun(Text, I)).value_or(0);
    const int32_t Generation = ReadInt32(TakeNumberRun(Text, I)).value_or(0);
    if (Number != Rec->ObjectNumber || Generation != Rec->Generation) return nullptr;
    while (I < Text.size() && IsPDFWhite(static_cast<unsigned char>(Text[I]))) ++I;
    // The keyword must be exactly "obj" ("OBJ" does not do).
    if (Text.substr(I, 3) != "obj") return nullptr;
    Body = Text.substr(I + 3);
  }
  TPDFObject* Value = FStructure->ParseObject(Body);
  if (auto* Dict = As<TPDFDictionary>(Value))
    if (TPDFObject* Stream = AttachStreamData(Dict, Body)) Value = Stream;
  return Value;
}

// The stream a dictionary heads, when its text has stream data; else null.
TPDFObject* TPDFDocument::AttachStreamData(TPDFDictionary* Dict, std::string_view Body) {
  if (Body.find("stream") == std::string_view::npos || Body.find("endstream") == std::string_view::npos) return nullptr;
  size_t Key = Body.find("stream", static_cast<size_t>(std::max<int64_t>(0, Dict->EndPos - 1)));
  if (Key == std::string_view::npos) return nullptr;
  size_t P = Key + 6;
  while (P < Body.size() && (Body[P] == ' ' || Body[P] == 7)) ++P;
  size_t Start;
  if (P < Body.size() && Body[P] == '\r')
    Start = P + 1 < Body.size() && Body[P + 1] == '\n' ? P + 2 : P + 1;
  else if (P < Body.size() && Body[P] == '\n')
    Start = P + 1;
  else
    return nullptr;
  TPDFObject* LengthObj = Dict->GetValue(PDFKey::Length, false);
  if (auto* Ref = As<TPDFIndRef>(LengthObj)) {
    TPDFIndObj* Rec = FindIndObj(Ref->Number, Ref->Generation);
    LengthObj = Rec ? Rec->GetObject() : nullptr;
  }
  auto* Length = As<TPDFNumeric>(LengthObj);
  if (!Length) return nullptr;
  // The data are cut at the end of the object's text.
  const size_t Want = static_cast<size_t>(std::max(0, Length->IntValue()));
  std::string_view Data = Body.substr(std::min(Start, Body.size()), Want);
  TPDFStream* Stream = FStructure->NewStream(std::string(Data));
  Stream->Dictionary()->Assign(Dict);
  Stream->Dictionary()->SetValue(PDFKey::Length, FStructure->NewNumber(static_cast<double>(Data.size())));
  return Stream;
}

// ---------------------------------------------------------------- object streams

const TPDFDocument::TObjectStream* TPDFDocument::GetObjectStream(int32_t Number) {
  if (auto It = FObjectStreams.find(Number); It != FObjectStreams.end()) return &It->second;
  TObjectStream Result;
  TPDFIndObj* Rec = FindIndObj(Number, 0);
  // An encrypted object stream is decrypted as a whole, once a password is in.
  if (Rec && !FStoredPassword.empty() && EncryptionState() == 1) DecryptIndObj(Rec);
  TPDFObject* Value = Rec ? Rec->GetObject() : nullptr;
  // A stream being loaded right now (or beyond the load depth) is not kept:
  // it may read fine when asked again.
  if (Rec && !Value) return nullptr;
  auto* Stream = As<TPDFStream>(Value);
  if (Stream && Stream->Dictionary()->GetTypeName() == "ObjStm") {
    const auto* First = As<TPDFNumeric>(Stream->Dictionary()->GetValue("First", false));
    const auto* N = As<TPDFNumeric>(Stream->Dictionary()->GetValue("N", false));
    if (First && N && First->IntValue() > 0 && N->IntValue() > 0) {
      Result.First = First->IntValue();
      Result.N = N->IntValue();
      Result.Data = Stream->GetDecodedData();
      std::string HeaderText = "[ ";
      HeaderText.append(std::string_view(Result.Data).substr(0, static_cast<size_t>(Result.First)));
      HeaderText += " ]";
      TPDFStructure Scratch;
      auto* Header = As<TPDFArray>(Scratch.ParseObject(HeaderText));
      if (Header && Header->Count() >= 2 * Result.N) {
        Result.Valid = true;
        Result.Header.reserve(static_cast<size_t>(Header->Count()));
        for (TPDFObject* Item : Header->Items()) {
          const auto* Num = As<TPDFNumeric>(Item);
          Result.Header.push_back(Num ? Num->Value() : std::numeric_limits<double>::quiet_NaN());
        }
      }
      if (!Result.Valid) Result.Data.clear();
    }
  }
  return &FObjectStreams.emplace(Number, std::move(Result)).first->second;
}

std::string_view TPDFDocument::CompressedText(const TPDFIndObj* Rec) {
  const TObjectStream* S = GetObjectStream(Rec->StreamObjectNumber);
  if (!S || !S->Valid) return {};
  const int64_t Index = Rec->StreamIndex;
  if (Index < 0 || Index >= S->N) return {};
  const double Number = S->Header[static_cast<size_t>(2 * Index)];
  const double Offset = S->Header[static_cast<size_t>(2 * Index + 1)];
  // Members are found by their index; a pair of another object reads as null.
  if (std::isnan(Number) || Number != Rec->ObjectNumber || std::isnan(Offset)) return {};
  const int64_t O = std::llround(Offset);
  int64_t E = static_cast<int64_t>(S->Data.size());
  if (Index < S->N - 1 && !std::isnan(S->Header[static_cast<size_t>(2 * Index + 3)]))
    E = std::llround(S->Header[static_cast<size_t>(2 * Index + 3)]);
  const int64_t Start = std::clamp<int64_t>(S->First + O, 0, static_cast<int64_t>(S->Data.size()));
  if (E - O <= 0) return {};
  return std::string_view(S->Data).substr(static_cast<size_t>(Start), static_cast<size_t>(E - O));
}

std::string TPDFDocument::GetObjectText(const TPDFIndObj* Rec) {
  if (!Rec) return {};
  if (!Rec->Compressed) {
    if (Rec->Offset <= 0 || Rec->Offset >= static_cast<int64_t>(FFileData.size())) return {};
    return FFileData.substr(static_cast<size_t>(Rec->Offset), static_cast<size_t>(Rec->Length));
  }
  const std::string Head = std::to_string(Rec->ObjectNumber) + " " + std::to_string(Rec->Generation) + " obj\r";
  const TObjectStream* S = GetObjectStream(Rec->StreamObjectNumber);
  if (!S || !S->Valid) return Head + "null\rendobj";
  std::string_view Body = CompressedText(Rec);
  if (Body.empty() && !(Rec->StreamIndex >= 0 && Rec->StreamIndex < S->N)) return Head + "null\rendobj";
  return Head + std::string(Body);
}

bool TPDFDocument::MayHoldKey(int32_t Number, int32_t Generation, std::string_view Key) {
  const TPDFIndObj* Rec = FindIndObj(Number, Generation);
  if (!Rec) return false;
  if (Rec->Loaded) return true;
  std::string_view Text;
  if (Rec->Compressed) {
    // Members read before a password is accepted are read again later; the
    // ordinary load keeps track of that.
    if (FStoredPassword.empty() && EncryptionState() == 1) return true;
    Text = CompressedText(Rec);
  } else if (Rec->Offset > 0 && Rec->Offset < static_cast<int64_t>(FFileData.size())) {
    Text = std::string_view(FFileData).substr(static_cast<size_t>(Rec->Offset), static_cast<size_t>(Rec->Length));
  } else {
    return true;
  }
  if (Text.find('#') != std::string_view::npos) return true;
  for (size_t At = Text.find(Key); At != std::string_view::npos; At = Text.find(Key, At + 1))
    if (At > 0 && Text[At - 1] == '/') return true;
  return false;
}

// ---------------------------------------------------------------- catalog, info, linearization

TPDFDictionary* TPDFDocument::GetCatalog() {
  if (auto* Root = As<TPDFDictionary>(FTrailer->GetValue("Root", true))) return Root;
  TPDFDictionary* Catalog = FStructure->NewDictionary();
  Catalog->SetValue("Type", FStructure->NewName("Catalog"));
  TPDFIndObj* Rec = NewIndObj(Catalog);
  FTrailer->SetValue("Root", FStructure->NewIndRef(Rec->ObjectNumber, Rec->Generation));
  return Catalog;
}

TPDFDictionary* TPDFDocument::GetPagesRoot() { return As<TPDFDictionary>(GetCatalog()->GetValue("Pages", true)); }

TPDFDictionary* TPDFDocument::GetInfo() {
  if (auto* Info = As<TPDFDictionary>(FTrailer->GetValue("Info", true))) return Info;
  TPDFDictionary* Info = FStructure->NewDictionary();
  TPDFIndObj* Rec = NewIndObj(Info);
  FTrailer->SetValue("Info", FStructure->NewIndRef(Rec->ObjectNumber, Rec->Generation));
  return Info;
}

void TPDFDocument::CheckLinearized() {
  FLinearized = false;
  std::string_view Head = std::string_view(FFileData).substr(0, 1024);
  if (Head.find("/Linearized") == std::string_view::npos) return;
  size_t Obj = Head.find(" obj");
  if (Obj == std::string_view::npos) return;
  // Backwards from " obj": non-digits, the generation, one byte, the number.
  size_t I = Obj;
  while (I > 0 && !IsPDFDigit(static_cast<unsigned char>(Head[I - 1]))) --I;
  size_t GenEnd = I;
  while (I > 0 && IsPDFDigit(static_cast<unsigned char>(Head[I - 1]))) --I;
  const int32_t Generation = ReadInt32(Head.substr(I, GenEnd - I)).value_or(0);
  if (I > 0) --I;
  size_t NumEnd = I;
  while (I > 0 && IsPDFDigit(static_cast<unsigned char>(Head[I - 1]))) --I;
  const int32_t Number = ReadInt32(Head.substr(I, NumEnd - I)).value_or(0);
  TPDFIndObj* Rec = FindIndObj(Number, Generation);
  auto* Dict = Rec ? As<TPDFDictionary>(Rec->GetObject()) : nullptr;
  if (Dict && Dict->IndexOfKey("Linearized") >= 0) {
    FLinearized = true;
    Dict->ClearEntries();
  }
}

void TPDFDocument::InitEmpty(double Width, double Height) {
  Clear();
  FVersion = "1.4";
  TPDFStructure& S = *FStructure;
  TPDFDictionary* Catalog = GetCatalog();
  TPDFDictionary* Pages = S.NewDictionary();
  TPDFIndObj* PagesRec = NewIndObj(Pages);
  TPDFDictionary* Page = S.NewDictionary();
  TPDFIndObj* PageRec = NewIndObj(Page);
  Page->SetValue("Type", S.NewName("Page"));
  Page->SetValue("Parent", S.NewIndRef(PagesRec->ObjectNumber, 0));
  Page->SetValue("MediaBox", S.NewNumberArray(std::vector<double>{0, 0, Width, Height}));
  Page->SetValue("Resources", S.NewDictionary());
  TPDFArray* Kids = S.NewArray();
  Kids->Add(S.NewIndRef(PageRec->ObjectNumber, 0));
  Pages->SetValue("Type", S.NewName("Pages"));
  Pages->SetValue("Kids", Kids);
  Pages->SetValue("Count", S.NewNumber(1));
  Catalog->SetValue("Pages", S.NewIndRef(PagesRec->ObjectNumber, 0));
  GetInfo();
  ResetPageTree(Pages);
  FPageTree->SelectPage(1);
}

// ================================================================ security

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

}  // namespace

void TPDFDocument::ReadSecurity() {
  FStrength = FEncryptR = FEncryptV = 0;
  FPValue = 0;
  FOValue.clear();
  FUValue.clear();
  FSecurityRead = true;
  FEncryptPresent = FTrailer && FTrailer->IndexOfKey("Encrypt") >= 0;
  auto* Encrypt = FEncryptPresent ? As<TPDFDictionary>(FTrailer->GetValue("Encrypt", true)) : nullptr;
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
  if (Filter && Filter->Value() == "Standard" && (V == 1 || V == 2) && (R == 2 || R == 3)) {
    FEncryptR = R;
    FEncryptV = V;
    FOValue = DirectString("O");
    FUValue = DirectString("U");
    FPValue = Direct("P");
    FStrength = V == 1 ? 40 : Length;
  }
}

int TPDFDocument::EncryptionState() {
  if (!FSecurityRead) ReadSecurity();
  if (!FEncryptPresent) return 0;
  return FEncryptV != 0 ? 1 : 2;
}

int TPDFDocument::EncryptionStrength() {
  if (!FSecurityRead) ReadSecurity();
  return FStrength;
}

// The first string of the trailer's ID; empty when there is none, as writers
// that leave the ID out expect.
std::string TPDFDocument::FirstID() {
  auto* ID = FTrailer ? As<TPDFArray>(FTrailer->GetValue("ID", true)) : nullptr;
  auto* First = ID ? As<TPDFString>(ID->GetItem(0)) : nullptr;
  return First ? First->Value() : std::string();
}

void TPDFDocument::PrepareTest() {
  FPermissions = FPValue;
  FShortP = static_cast<uint32_t>(FPValue) < 65536;
  const uint32_t P = static_cast<uint32_t>(FPermissions);
  FPermitGroup1 = (P & 4 ? 1 : 0) | (P & 8 ? 4 : 0) | (P & 16 ? 2 : 0) | (P & 32 ? 8 : 0);
  FPermitGroup2 = (P & 256 ? 1 : 0) | (P & 512 ? 2 : 0) | (P & 1024 ? 4 : 0) | (P & 2048 ? 8 : 0);
  FMode128 = FStrength != 40;
}

void TPDFDocument::ComputeKey() {
  FComputedKey.clear();
  const size_t KeyLength = FMode128 ? 16 : 5;
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
      for (int I = 0; I < 50; ++I) Digest = MD5Digest(Digest.substr(0, 16));
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
  const std::string ID = FirstID();
  Input += ID;
  const std::string Key = Rounds(MD5Digest(Input));
  if (FComputedKey.empty()) FComputedKey = Key;
  // The U part.
  if (FMode128)
    FWorkU = Chain(Key, MD5Digest(Padding + ID)) + std::string(16, '\0');
  else
    FWorkU = RC4(Key, Padding);
}

bool TPDFDocument::CheckUserPassword(const std::string& Password) {
  if (EncryptionState() == 0) return Password.empty();
  PrepareTest();
  FWorkOwnerPassword.clear();
  return UserPasswordGivesU(Password);
}

bool TPDFDocument::CheckOwnerPassword(const std::string& Password) {
  if (EncryptionState() == 0) return Password.empty();
  PrepareTest();
  FWorkOwnerPassword = FWorkUserPassword = Password;
  FWorkO.clear();
  FWorkU = FUValue;
  ComputeKey();
  // The user password from the O value: the chain follows R.
  std::string User = FOValue;
  if (FEncryptR == 2) {
    User = RC4(FComputedKey, User);
  } else if (FEncryptR == 3) {
    for (int I = 19; I >= 0; --I) User = RC4(XorKey(FComputedKey, I), User);
  }
  return UserPasswordGivesU(User);
}

bool TPDFDocument::UserPasswordGivesU(const std::string& User) {
  FWorkUserPassword = User;
  FWorkO = FOValue;
  FWorkU.clear();
  ComputeKey();
  if (FStrength == 40) return FWorkU == FUValue;
  return FWorkU.substr(0, 16) == FUValue.substr(0, 16) && FUValue.size() >= 16;
}

void TPDFDocument::ApplyPassword(const std::string& Password) {
  if (!(CheckUserPassword(Password) || CheckOwnerPassword(Password))) {
    FStoredPassword.clear();
    return;
  }
  const bool KeyChanged = FDocumentKey != FComputedKey || FStoredPassword.empty();
  FStoredPassword = "!" + Password;
  FDocumentKey = FComputedKey;
  bool Rebuild = FPageTreeDeferred;
  if (KeyChanged && FMembersReadEarly && EncryptionState() == 1) {
    // Members of object streams read before this key was set came from
    // encrypted bytes: read them again, and the page tree on them.
    FMembersReadEarly = false;
    FObjectStreams.clear();
    FFontCache->Clear();
    for (TPDFIndObj* Rec : FObjectTable)
      if (Rec->Compressed && Rec->Loaded) {
        Rec->Loaded = false;
        Rec->Walked = false;
        Rec->Value = nullptr;
      }
    Rebuild = Rebuild || (FPageTree && FPageTree->Root());
  }
  if (Rebuild) {
    FPageTreeDeferred = false;
    ResetPageTree(GetPagesRoot());
    FPageTree->SelectPage(1);
  }
}

std::string TPDFDocument::ObjectKey(int32_t ObjectNumber, int32_t Generation) const {
  std::string Input = FDocumentKey;
  const uint32_t N = static_cast<uint32_t>(ObjectNumber), G = static_cast<uint32_t>(Generation);
  for (int B = 0; B < 3; ++B) Input += static_cast<char>((N >> (8 * B)) & 0xFF);
  for (int B = 0; B < 2; ++B) Input += static_cast<char>((G >> (8 * B)) & 0xFF);
  return MD5Digest(Input).substr(0, std::min<size_t>(FDocumentKey.size() + 5, 16));
}

void TPDFDocument::DecryptValue(const std::string& Key, TPDFObject* Obj, int Depth) {
  if (!Obj || Depth > MaxDecryptDepth) return;
  if (auto* Dict = As<TPDFDictionary>(Obj)) {
    for (const auto& Entry : Dict->Entries()) DecryptValue(Key, Entry.second, Depth + 1);
  } else if (auto* Array = As<TPDFArray>(Obj)) {
    for (TPDFObject* Item : Array->Items()) DecryptValue(Key, Item, Depth + 1);
  } else if (auto* String = As<TPDFString>(Obj)) {
    String->SetValue(RC4(Key, String->Value()));
  } else if (auto* Stream = As<TPDFStream>(Obj)) {
    Stream->SetRawData(RC4(Key, Stream->RawData()));
    DecryptValue(Key, Stream->Dictionary(), Depth + 1);
  }
}

void TPDFDocument::DecryptIndObj(TPDFIndObj* Rec) {
  if (!Rec) return;
  TPDFObject* Value = Rec->GetObject();
  if (Rec->Decrypted) return;
  Rec->Decrypted = true;
  DecryptValue(ObjectKey(Rec->ObjectNumber, Rec->Generation), Value);
}

void TPDFDocument::DecryptReachable(int32_t ObjectNumber, int32_t Generation) {
  if (FStoredPassword.empty() || EncryptionState() != 1) return;
  // Objects to visit; a record is marked before its walk, so cycles end.
  std::vector<std::pair<int32_t, int32_t>> Pending = {{ObjectNumber, Generation}};
  while (!Pending.empty()) {
    auto [Number, Gen] = Pending.back();
    Pending.pop_back();
    // Members of object streams count as decrypted from the start; their
    // references are still followed (a page in an object stream leads to its
    // content streams), once per record.
    TPDFIndObj* Rec = FindIndObj(Number, Gen);
    if (!Rec || Rec->Walked) continue;
    Rec->Walked = true;
    DecryptIndObj(Rec);
    // Collect the references below the value (not inside streams).
    std::vector<std::pair<TPDFObject*, int>> Walk = {{Rec->Value, 0}};
    while (!Walk.empty()) {
      auto [Obj, Depth] = Walk.back();
      Walk.pop_back();
      if (!Obj || Depth > MaxDecryptDepth) continue;
      if (auto* Ref = As<TPDFIndRef>(Obj)) {
        Pending.emplace_back(Ref->Number, Ref->Generation);
      } else if (auto* Dict = As<TPDFDictionary>(Obj)) {
        for (const auto& Entry : Dict->Entries()) Walk.emplace_back(Entry.second, Depth + 1);
      } else if (auto* Array = As<TPDFArray>(Obj)) {
        for (TPDFObject* Item : Array->Items()) Walk.emplace_back(Item, Depth + 1);
      }
    }
  }
}

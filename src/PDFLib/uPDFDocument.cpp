// Documents: the file in memory, the table of indirect objects with lazy
// parsing and object streams, and the load sequence.
#include "uPDFDocument.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <istream>
#include <limits>
#include <stdexcept>

#include "CodePage.h"
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

TPDFDocument::TPDFDocument()
    : CodePage(TCodePage::Default()), FStructure(std::make_unique<TPDFStructure>()),
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
  ResetPageTree(nullptr);
}

void TPDFDocument::ResetPageTree(TPDFDictionary* Root) {
  FPageTree.reset();
  FPageTree = std::make_unique<TPDFPageTree>(this, Root);
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
  return Ok;
}

bool TPDFDocument::LoadSequence() {
  if (!CheckHeader()) return false;
  if (!ReadCrossReferences()) return false;
  ResetPageTree(GetPagesRoot());
  FPageTree->SelectPage(1);
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

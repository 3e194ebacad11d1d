// Documents: the file in memory, the table of indirect objects with lazy
// parsing and object streams, and the load sequence.
#include "uPDFDocument.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <istream>
#include <iterator>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "CodePage.h"
#include "uPDFExtra.h"
#include "uPDFFontCollection.h"
#include "uPDFPageTree.h"
#include "uPDFSecurity.h"
#include "uPDFXRef.h"

namespace {

// Loads that start other loads (an indirect Length, an object stream, a member
// of an object stream held in another object stream) nest no deeper than this.
constexpr int MaxLoadDepth = 64;

// References below an object are walked no deeper than this when the objects
// a page reaches are decrypted.
constexpr int MaxDecryptDepth = 256;

// Why a file of 2 GiB or more is refused.
constexpr const char* TooLarge = "the file is 2 GiB or more, more than can be held";

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
// Whether Text begins with the header "Number Generation obj" (leading bytes
// before each number dropped, as an offset a little early still finds its
// object); BodyStart receives the position after "obj".
bool HeaderMatches(std::string_view Text, int32_t Number, int32_t Generation, size_t& BodyStart) {
  size_t I = 0;
  if (ReadInt32(TakeNumberRun(Text, I)).value_or(0) != Number) return false;
  if (ReadInt32(TakeNumberRun(Text, I)).value_or(0) != Generation) return false;
  while (I < Text.size() && IsPDFWhite(static_cast<unsigned char>(Text[I]))) ++I;
  // The keyword must be exactly "obj" ("OBJ" does not do).
  if (Text.substr(I, 3) != "obj") return false;
  BodyStart = I + 3;
  return true;
}

// Trailers and cross-reference stream dictionaries the rebuild reads, newest
// first, and the bytes read of each.
constexpr size_t MaxTrailerCandidates = 64;
constexpr size_t TrailerWindow = 20480;

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
  FRebuilt = FRebuildPending = FChainRead = false;
  FEndStreams.clear();
  FScannedObjStms.clear();
  FRootCandidates.clear();
  FSecurity = std::make_unique<TPDFSecurityHandler>(CodePage);
  FSecurity->DocumentID = [this] { return FirstID(); };
  FSecurity->OnWarning = [this](const std::string& Text) {
    if (OnWarning) OnWarning(Text);
  };
  FMembersReadEarly = false;
  FPageTreeDeferred = false;
  ResetPageTree(nullptr);
}

void TPDFDocument::ResetPageTree(TPDFDictionary* Root) {
  FPageTree.reset();
  FPageTree = std::make_unique<TPDFPageTree>(Root, ObjectCount());
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
      FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::Memory, TooLarge);
      return false;
    }
    Data.resize(static_cast<size_t>(Size));
    for (int64_t Done = 0; Done < Size;) {
      const int64_t Want = std::min(ReadChunk, Size - Done);
      Stream.read(Data.data() + Done, Want);
      if (Stream.gcount() < Want) throw std::runtime_error("Read file error. code: " + std::to_string(errno));
      Done += Want;
    }
  } catch (const std::bad_alloc&) {
    Clear();
    ApplyPassword("");
    FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::Memory, "out of memory");
    return false;
  } catch (const std::exception& E) {
    Clear();
    ApplyPassword("");
    FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::Unreadable, E.what());
    return false;
  }
  return LoadFromData(std::move(Data));
}

bool TPDFDocument::LoadFromData(std::string Data) {
  Clear();
  FLoadStatus = {};
  if (Data.size() >= (size_t{1} << 31)) {
    FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::Memory, TooLarge);
    return false;
  }
  FFileData = std::move(Data);
  bool Ok = false;
  try {
    Ok = LoadSequence();
  } catch (const std::bad_alloc&) {
    FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::Memory, "out of memory");
  } catch (const std::exception& E) {
    FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::Internal, E.what());
  }
  if (!Ok) {
    if (FLoadStatus.Ok()) FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::Internal, "the load failed");
    Clear();
  }
  ApplyPassword("");
  return Ok;
}

bool TPDFDocument::LoadSequence() {
  if (!CheckHeader()) {
    FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::NotPDF, "not a PDF (no header)");
    return false;
  }
  if (!ReadCrossReferences()) {
    FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::DamagedRefused, "damaged beyond repair");
    return false;
  }
  // The empty password first, so that a document that opens with it reads
  // its catalog and page tree (often in object streams) decrypted. A
  // document that needs a password gets its page tree once one is accepted.
  ApplyPassword("");
  if (EncryptionState() == 1 && StoredPassword().empty()) {
    FPageTreeDeferred = true;
  } else if (!BuildPageTree()) {
    FLoadStatus = TPDFStatus::Failure(TPDFStatusKind::DamagedRefused, "damaged beyond repair");
    return false;
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
  // A damaged file is rebuilt before a table is made of what it says.
  FChainRead = Ok;
  if (Repair && (!Ok || !EntriesPointAtObjects())) return RebuildCrossReferences();
  BuildObjectTable(FSectionOffsets);
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

void TPDFDocument::BuildObjectTable(const std::vector<int32_t>& Boundaries) {
  // Every offset the chain named, in file order; at equal offsets a section
  // comes first, then objects by number. An object's text runs to the next one.
  struct TKey {
    int64_t Offset;
    bool IsEntry;
    int32_t Number;
    size_t Entry;
  };
  std::vector<TKey> Keys;
  Keys.reserve(Boundaries.size() + FEntries.size());
  for (int32_t Offset : Boundaries) Keys.push_back({Offset, false, 0, 0});
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
    if (StoredPassword().empty() && EncryptionState() == 1) FMembersReadEarly = true;
    Value = ParseObjectBody(Rec, CompressedText(Rec), false);
  } else if (Rec->Offset > 0 && Rec->Offset < static_cast<int64_t>(FFileData.size())) {
    Value = ParseObjectBody(Rec, std::string_view(FFileData).substr(static_cast<size_t>(Rec->Offset),
                                                                    static_cast<size_t>(Rec->Length)), true);
  }
  if (!Value) Value = FStructure->NewNull();
  Value->SetIndirect(Rec->ObjectNumber, Rec->Generation);
  Rec->Value = Value;
  // Once a password is accepted, an object is decrypted as it is read: only
  // what the text path reads is parsed and decrypted.
  if (!Rec->Decrypted && !StoredPassword().empty() && FSecurity->IsRead() && FSecurity->Version() != 0) DecryptIndObj(Rec);
  return Value;
}

// Parses an object's text: "N G obj" and the object (WithHeader), or just the
// object (a member of an object stream, whose header is known to match).
TPDFObject* TPDFDocument::ParseObjectBody(const TPDFIndObj* Rec, std::string_view Text, bool WithHeader) {
  std::string_view Body = Text;
  if (WithHeader) {
    size_t BodyStart = 0;
    if (!HeaderMatches(Text, Rec->ObjectNumber, Rec->Generation, BodyStart)) return nullptr;
    Body = Text.substr(BodyStart);
  }
  TPDFObject* Value = FStructure->ParseObject(Body);
  if (auto* Dict = As<TPDFDictionary>(Value))
    if (TPDFObject* Stream = AttachStreamData(Dict, Body)) Value = Stream;
  return Value;
}

// The stream a dictionary heads, when its text has stream data; else null.
TPDFObject* TPDFDocument::AttachStreamData(TPDFDictionary* Dict, std::string_view Body) {
  // Without repair the text must hold "endstream" somewhere.
  if (Body.find("stream") == std::string_view::npos) return nullptr;
  if (!Repair && Body.find("endstream") == std::string_view::npos) return nullptr;
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
  Start = std::min(Start, Body.size());
  std::string_view Data;
  if (Length) {
    // The data are cut at the end of the object's text.
    const size_t Want = static_cast<size_t>(std::max(0, Length->IntValue()));
    Data = Body.substr(Start, Want);
  }
  // Repair reads only a "stream" keyword that follows the dictionary (a
  // "stream" further on belongs to another object).
  bool Adjacent = true;
  for (size_t I = static_cast<size_t>(std::max<int64_t>(0, Dict->EndPos)); I < Key && Adjacent; ++I)
    Adjacent = IsPDFWhite(static_cast<unsigned char>(Body[I]));
  if (Repair && Adjacent) {
    // A Length is right when "endstream" follows the data it counts (after
    // white space). Otherwise the data end at the "endstream" that follows,
    // without the line end before it; with none, the Length (or the rest of
    // the text) stands.
    bool Right = false;
    if (Length && Length->Value() >= 0 && Data.size() == static_cast<size_t>(std::max(0, Length->IntValue()))) {
      size_t Q = Start + Data.size();
      while (Q < Body.size() && IsPDFWhite(static_cast<unsigned char>(Body[Q]))) ++Q;
      Right = Body.substr(Q, 9) == "endstream";
    }
    const size_t End = Right ? std::string_view::npos : FindEndStream(Body, Start);
    if (End != std::string_view::npos) {
      size_t DataEnd = End;
      if (DataEnd > Start && Body[DataEnd - 1] == '\n') --DataEnd;
      if (DataEnd > Start && Body[DataEnd - 1] == '\r') --DataEnd;
      Data = Body.substr(Start, DataEnd - Start);
    } else if (!Length) {
      Data = Body.substr(Start);
    }
  } else if (!Length) {
    return nullptr;
  }
  TPDFStream* Stream = FStructure->NewStream(std::string(Data));
  Stream->Dictionary()->Assign(Dict);
  Stream->Dictionary()->SetValue(PDFKey::Length, FStructure->NewNumber(static_cast<double>(Data.size())));
  return Stream;
}

size_t TPDFDocument::FindEndStream(std::string_view Body, size_t From) const {
  const char* Base = FFileData.data();
  if (!FEndStreams.empty() && Body.data() >= Base && Body.data() + Body.size() <= Base + FFileData.size()) {
    // The rebuild scan found every "endstream" of the file already.
    const int64_t At = (Body.data() - Base) + static_cast<int64_t>(From);
    auto It = std::lower_bound(FEndStreams.begin(), FEndStreams.end(), At);
    if (It == FEndStreams.end() || *It + int64_t{9} > (Body.data() - Base) + static_cast<int64_t>(Body.size()))
      return std::string_view::npos;
    return static_cast<size_t>(*It - (Body.data() - Base));
  }
  return Body.find("endstream", From);
}

// ---------------------------------------------------------------- object streams

const TPDFDocument::TObjectStream* TPDFDocument::GetObjectStream(int32_t Number) {
  if (auto It = FObjectStreams.find(Number); It != FObjectStreams.end()) return &It->second;
  TObjectStream Result;
  TPDFIndObj* Rec = FindIndObj(Number, 0);
  // An encrypted object stream is decrypted as a whole, once a password is in.
  if (Rec && !StoredPassword().empty() && EncryptionState() == 1) DecryptIndObj(Rec);
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
    if (StoredPassword().empty() && EncryptionState() == 1) return true;
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

// ---------------------------------------------------------------- repair of damaged files

bool TPDFDocument::EntriesPointAtObjects() const {
  // Read as a load reads them: bytes before the number are dropped, so an
  // offset a little early still points at its object. Each test reads at
  // most HeaderWindow bytes; the first that fails ends the tests, and those
  // that pass end at distinct headers (one entry per number), so the tests
  // read the file about once.
  constexpr size_t HeaderWindow = 1024;
  const std::string_view File(FFileData);
  for (const TPDFXRefEntry& E : FEntries) {
    if (E.Compressed || E.Generation < 0) continue;
    size_t BodyStart = 0;
    if (E.Offset <= 0 || static_cast<size_t>(E.Offset) >= File.size() ||
        !HeaderMatches(File.substr(static_cast<size_t>(E.Offset), HeaderWindow), E.ObjectNumber, E.Generation,
                       BodyStart))
      return false;
  }
  return true;
}

bool TPDFDocument::RebuildCrossReferences() {
  TPDFFileScan Scan = ScanFile(FFileData);
  FRebuilt = true;
  FRebuildPending = true;
  FObjectStreams.clear();
  FFontCache->Clear();
  FSectionOffsets.clear();
  FScannedObjStms.clear();
  FRootCandidates.clear();

  // The last definition of each number wins; every header and trailer ends
  // the text of the object before it.
  std::unordered_map<int32_t, size_t> Last;
  Last.reserve(Scan.Headers.size());
  for (size_t I = 0; I < Scan.Headers.size(); ++I) Last[Scan.Headers[I].Number] = I;
  FEntries.clear();
  FEntries.reserve(Last.size());
  std::vector<int32_t> Boundaries;
  Boundaries.reserve(Scan.Headers.size() + Scan.Trailers.size());
  for (size_t I = 0; I < Scan.Headers.size(); ++I) {
    const TPDFObjectHeader& H = Scan.Headers[I];
    Boundaries.push_back(H.Offset);
    if (Last[H.Number] != I) continue;
    TPDFXRefEntry E;
    E.ObjectNumber = H.Number;
    E.Generation = H.Generation;
    E.Offset = H.Offset;
    FEntries.push_back(E);
  }
  Boundaries.insert(Boundaries.end(), Scan.Trailers.begin(), Scan.Trailers.end());
  // Records of an earlier table go (their values stay in the structure).
  FObjectTable.clear();
  FByNumber.clear();
  FRecords.clear();
  FHighestNumber = 0;
  BuildObjectTable(Boundaries);
  FEntries = std::vector<TPDFXRefEntry>();
  FEndStreams = std::move(Scan.EndStreams);

  // The object a mark stands in, when it is the definition that won.
  auto MarkedObject = [&](int32_t Mark) -> TPDFIndObj* {
    const int64_t H = Scan.HeaderBefore(Mark);
    if (H < 0) return nullptr;
    const TPDFObjectHeader& Header = Scan.Headers[static_cast<size_t>(H)];
    TPDFIndObj* Rec = FindIndObj(Header.Number, Header.Generation);
    return Rec && !Rec->Compressed && Rec->Offset == Header.Offset ? Rec : nullptr;
  };
  for (int32_t Mark : Scan.ObjStmMarks)
    if (TPDFIndObj* Rec = MarkedObject(Mark); Rec && Rec->Generation == 0)
      if (FScannedObjStms.empty() || FScannedObjStms.back().second != Rec->Offset)
        FScannedObjStms.emplace_back(Rec->ObjectNumber, Rec->Offset);

  // Trailers and cross-reference stream dictionaries, newest first.
  std::vector<std::pair<int64_t, TPDFIndObj*>> Candidates;  // position; the xref stream, or null for a trailer
  for (int32_t T : Scan.Trailers) Candidates.emplace_back(T, nullptr);
  for (int32_t Mark : Scan.XRefMarks)
    if (TPDFIndObj* Rec = MarkedObject(Mark))
      if (Candidates.empty() || Candidates.back().second != Rec) Candidates.emplace_back(Rec->Offset, Rec);
  std::sort(Candidates.begin(), Candidates.end(),
            [](const auto& A, const auto& B) { return A.first > B.first; });
  FTrailer = FStructure->NewDictionary();
  size_t Parsed = 0;
  for (const auto& [Position, XRefStream] : Candidates) {
    if (Parsed >= MaxTrailerCandidates) break;
    std::string_view Text = std::string_view(FFileData).substr(static_cast<size_t>(Position), TrailerWindow);
    size_t BodyStart = 7;  // after "trailer"
    if (XRefStream && !HeaderMatches(Text, XRefStream->ObjectNumber, XRefStream->Generation, BodyStart)) continue;
    Text.remove_prefix(std::min(BodyStart, Text.size()));
    TPDFStructure Scratch;
    auto* Dict = As<TPDFDictionary>(Scratch.ParseObject(Text));
    if (!Dict || (XRefStream && Dict->GetTypeName() != "XRef")) continue;
    ++Parsed;
    if (auto* Root = As<TPDFIndRef>(Dict->GetValue("Root", false)))
      FRootCandidates.emplace_back(Root->Number, Root->Generation);
    for (const char* Key : {"Info", "Encrypt", "ID"})
      if (FTrailer->IndexOfKey(Key) < 0)
        if (TPDFObject* Value = Dict->GetValue(Key, false))
          if (TPDFObject* Copy = FStructure->ParseObject(Value->ToText())) FTrailer->SetValue(Key, Copy);
  }
  FTrailer->SetValue("Size", FStructure->NewNumber(static_cast<double>(FHighestNumber) + 1));
  return !Scan.Headers.empty();
}

void TPDFDocument::FinishRebuild() {
  FRebuildPending = false;
  TakeObjectStreamMembers();
  ChooseCatalog();
}

void TPDFDocument::TakeObjectStreamMembers() {
  // Every member of every object stream found, in file order.
  struct TMember {
    int32_t Number;
    int32_t Stream;
    int32_t Index;
    int64_t Position;  // the object stream's offset
    bool Shadowed;     // a later direct definition wins
  };
  std::vector<TMember> Members;
  // A pair takes at most 22 bytes ("2147483647 2147483647 "); all headers
  // together decode no more than a few times the file's size, however much
  // the streams claim.
  int64_t Budget = 16 * static_cast<int64_t>(FFileData.size()) + (int64_t{1} << 20);
  for (const auto& [Number, Offset] : FScannedObjStms) {
    // Only the header of pairs is decoded here; members are read from the
    // whole stream when they are first asked for, as in an intact file.
    TPDFIndObj* Rec = FindIndObj(Number, 0);
    if (Rec && !StoredPassword().empty() && EncryptionState() == 1) DecryptIndObj(Rec);
    auto* Stream = Rec ? As<TPDFStream>(Rec->GetObject()) : nullptr;
    if (!Stream || Stream->Dictionary()->GetTypeName() != "ObjStm") continue;
    const auto* First = As<TPDFNumeric>(Stream->Dictionary()->GetValue("First", false));
    const auto* N = As<TPDFNumeric>(Stream->Dictionary()->GetValue("N", false));
    if (!First || !N || First->IntValue() <= 0 || N->IntValue() <= 0) continue;
    const int64_t Want = std::min<int64_t>(First->IntValue(), 24 * int64_t{N->IntValue()} + 64);
    if (Want > Budget) break;
    Budget -= Want;
    const std::string HeaderText = "[ " + Stream->GetDecodedData(static_cast<size_t>(Want)) + " ]";
    TPDFStructure Scratch;
    auto* Header = As<TPDFArray>(Scratch.ParseObject(HeaderText));
    if (!Header || Header->Count() < 2 * int64_t{N->IntValue()}) continue;
    for (int32_t I = 0; I < N->IntValue(); ++I) {
      const auto* Member = As<TPDFNumeric>(Header->GetItem(2 * I));
      const double Value = Member ? Member->Value() : -1;
      if (!(Value >= 0 && Value <= INT32_MAX) || Value != std::floor(Value)) continue;
      Members.push_back({static_cast<int32_t>(Value), Number, I, Offset, false});
    }
  }
  if (Members.empty()) return;
  // The last copy of each number wins (the sort keeps file order within a number).
  std::stable_sort(Members.begin(), Members.end(),
                   [](const TMember& A, const TMember& B) { return A.Number < B.Number; });
  size_t Kept = 0;
  for (size_t I = 0; I < Members.size(); ++I) {
    if (I + 1 < Members.size() && Members[I + 1].Number == Members[I].Number) continue;
    Members[Kept++] = Members[I];
  }
  Members.resize(Kept);
  // A direct definition later in the file than the object stream wins. The
  // direct records stay in file order; the members, in number order, go
  // before them (the table's order), and the lookup list is the merge of the
  // two, both in number order.
  std::vector<TPDFIndObj*> Direct;
  Direct.reserve(FObjectTable.size());
  for (TPDFIndObj* Rec : FObjectTable) {
    auto It = std::lower_bound(Members.begin(), Members.end(), Rec->ObjectNumber,
                               [](const TMember& M, int32_t Number) { return M.Number < Number; });
    if (It == Members.end() || It->Number != Rec->ObjectNumber) {
      Direct.push_back(Rec);
    } else if (Rec->Offset > It->Position) {
      Direct.push_back(Rec);
      It->Shadowed = true;
    }
  }
  std::vector<TPDFIndObj*> Table;
  Table.reserve(Direct.size() + Members.size());
  for (const TMember& M : Members) {
    if (M.Shadowed) continue;
    TPDFIndObj* Rec = &FRecords.emplace_back();
    Rec->Document = this;
    Rec->ObjectNumber = M.Number;
    Rec->Compressed = true;
    Rec->StreamObjectNumber = M.Stream;
    Rec->StreamIndex = M.Index;
    Table.push_back(Rec);
  }
  const size_t CompressedCount = Table.size();
  Table.insert(Table.end(), Direct.begin(), Direct.end());
  auto ByNumber = [](const TPDFIndObj* A, const TPDFIndObj* B) { return A->ObjectNumber < B->ObjectNumber; };
  std::sort(Direct.begin(), Direct.end(), ByNumber);
  FByNumber.clear();
  FByNumber.reserve(Table.size());
  std::merge(Table.begin(), Table.begin() + static_cast<std::ptrdiff_t>(CompressedCount), Direct.begin(), Direct.end(),
             std::back_inserter(FByNumber), ByNumber);
  FObjectTable = std::move(Table);
  FHighestNumber = FByNumber.empty() ? 0 : FByNumber.back()->ObjectNumber;
  FTrailer->SetValue("Size", FStructure->NewNumber(static_cast<double>(FHighestNumber) + 1));
}

std::vector<TPDFIndObj*> TPDFDocument::FileOrder() const {
  std::vector<std::pair<std::pair<int64_t, int64_t>, TPDFIndObj*>> Keys;
  Keys.reserve(FObjectTable.size());
  for (TPDFIndObj* Rec : FObjectTable) {
    if (Rec->Compressed) {
      const TPDFIndObj* Stream = FindIndObj(Rec->StreamObjectNumber, 0);
      Keys.push_back({{Stream ? Stream->Offset : 0, int64_t{1} + Rec->StreamIndex}, Rec});
    } else {
      Keys.push_back({{Rec->Offset, 0}, Rec});
    }
  }
  std::stable_sort(Keys.begin(), Keys.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
  std::vector<TPDFIndObj*> Order;
  Order.reserve(Keys.size());
  for (const auto& K : Keys) Order.push_back(K.second);
  return Order;
}

void TPDFDocument::ChooseCatalog() {
  // The newest trailer's Root that resolves to a dictionary.
  for (const auto& [Number, Generation] : FRootCandidates)
    if (As<TPDFDictionary>(LookupObject(Number, Generation))) {
      FTrailer->SetValue("Root", FStructure->NewIndRef(Number, Generation));
      return;
    }
  // Else the last object whose Type is Catalog.
  const std::vector<TPDFIndObj*> Order = FileOrder();
  for (auto It = Order.rbegin(); It != Order.rend(); ++It) {
    TPDFIndObj* Rec = *It;
    if (!MayHoldKey(Rec->ObjectNumber, Rec->Generation, "Catalog")) continue;
    auto* Dict = As<TPDFDictionary>(Rec->GetObject());
    if (Dict && Dict->GetTypeName() == "Catalog") {
      FTrailer->SetValue("Root", FStructure->NewIndRef(Rec->ObjectNumber, Rec->Generation));
      return;
    }
  }
  FTrailer->DeleteKey("Root");
}

bool TPDFDocument::PagesFromPageObjects() {
  TPDFArray* Kids = FStructure->NewArray();
  int64_t Count = 0;
  for (TPDFIndObj* Rec : FileOrder()) {
    if (!MayHoldKey(Rec->ObjectNumber, Rec->Generation, "Page")) continue;
    auto* Dict = As<TPDFDictionary>(Rec->GetObject());
    if (!Dict || Dict->GetTypeName() != "Page") continue;
    Kids->Add(FStructure->NewIndRef(Rec->ObjectNumber, Rec->Generation));
    ++Count;
  }
  if (Count == 0) return false;
  TPDFDictionary* Node = FStructure->NewDictionary();
  Node->SetValue("Type", FStructure->NewName("Pages"));
  Node->SetValue("Kids", Kids);
  Node->SetValue("Count", FStructure->NewNumber(static_cast<double>(Count)));
  TPDFIndObj* Rec = NewIndObj(Node);
  GetCatalog()->SetValue("Pages", FStructure->NewIndRef(Rec->ObjectNumber, Rec->Generation));
  ResetPageTree(Node);
  FPageTree->SelectPage(1);
  return true;
}

bool TPDFDocument::BuildPageTree() {
  if (FRebuildPending) FinishRebuild();
  // Asked before GetCatalog puts in an empty catalog where there is none.
  auto HasCatalog = [&] { return As<TPDFDictionary>(FTrailer->GetValue("Root", true)) != nullptr; };
  bool HadCatalog = HasCatalog();
  ResetPageTree(GetPagesRoot());
  FPageTree->SelectPage(1);
  // The file is damaged when the catalog cannot be reached, or its Pages, or
  // a tree that claims pages gives none. (A catalog without Pages, or a tree
  // whose Count is 0, is a document without pages.)
  auto GivesNoPage = [&] {
    if (FPageTree->PageDict()) return false;
    if (!HadCatalog) return true;
    const TPDFDictionary* Root = FPageTree->Root();
    if (!Root) return GetCatalog()->IndexOfKey("Pages") >= 0;
    const auto* Count = As<TPDFNumeric>(Root->GetValue("Count", true));
    return !Count || Count->IntValue() > 0;
  };
  if (!FRebuilt && Repair && GivesNoPage() && RebuildCrossReferences()) {
    FinishRebuild();
    HadCatalog = HasCatalog();
    ResetPageTree(GetPagesRoot());
    FPageTree->SelectPage(1);
  }
  // The catalog gives no page: every page object, in file order.
  if (FRebuilt && !FPageTree->PageDict() && !PagesFromPageObjects() && !HadCatalog && !FChainRead) return false;
  return true;
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

TPDFSecurityHandler& TPDFDocument::Security() {
  if (!FSecurity->IsRead()) FSecurity->Read(FTrailer);
  return *FSecurity;
}

int TPDFDocument::EncryptionState() { return Security().EncryptionState(); }

int TPDFDocument::EncryptionStrength() { return Security().EncryptionStrength(); }

bool TPDFDocument::CheckUserPassword(const std::string& Password) { return Security().CheckUserPassword(Password); }

bool TPDFDocument::CheckOwnerPassword(const std::string& Password) { return Security().CheckOwnerPassword(Password); }

// The first string of the trailer's ID; empty when there is none, as writers
// that leave the ID out expect.
std::string TPDFDocument::FirstID() {
  auto* ID = FTrailer ? As<TPDFArray>(FTrailer->GetValue("ID", true)) : nullptr;
  auto* First = ID ? As<TPDFString>(ID->GetItem(0)) : nullptr;
  return First ? First->Value() : std::string();
}

void TPDFDocument::ApplyPassword(const std::string& Password) {
  bool KeyChanged = false;
  if (!Security().Accept(Password, KeyChanged)) return;
  if (KeyChanged && FSecurity->Version() != 0) {
    // Objects read before the key was there (the catalog, the Encrypt
    // dictionary's neighbours) are decrypted now; later ones as they are read.
    for (size_t I = 0; I < FObjectTable.size(); ++I)
      if (FObjectTable[I]->Loaded && !FObjectTable[I]->Decrypted) DecryptIndObj(FObjectTable[I]);
  }
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
    BuildPageTree();
  }
}

// ---------------------------------------------------------------- object decryption

void TPDFDocument::DecryptValue(int32_t ObjectNumber, int32_t Generation, TPDFObject* Obj) {
  Security().DecryptValue(ObjectNumber, Generation, Obj);
}

void TPDFDocument::DecryptIndObj(TPDFIndObj* Rec) {
  if (!Rec) return;
  TPDFObject* Value = Rec->GetObject();
  if (Rec->Decrypted) return;
  Rec->Decrypted = true;
  // The Encrypt dictionary is never encrypted.
  if (FSecurity->EncryptNumber() != 0 && Rec->ObjectNumber == FSecurity->EncryptNumber()) return;
  DecryptValue(Rec->ObjectNumber, Rec->Generation, Value);
}

void TPDFDocument::DecryptReachable(int32_t ObjectNumber, int32_t Generation) {
  if (StoredPassword().empty() || EncryptionState() != 1) return;
  // Objects to visit; a record is marked before its walk, so cycles end.
  std::vector<std::pair<int32_t, int32_t>> Pending = {{ObjectNumber, Generation}};
  while (!Pending.empty()) {
    auto [Number, Gen] = Pending.back();
    Pending.pop_back();
    // Members of object streams count as decrypted from the start; their
    // references are still followed (a page in an object stream leads to its
    // content streams), once per record.
    // Objects not read yet are decrypted when they are read: the walk does
    // not read them.
    TPDFIndObj* Rec = FindIndObj(Number, Gen);
    if (!Rec || Rec->Walked || !Rec->Loaded) continue;
    Rec->Walked = true;
    DecryptIndObj(Rec);
    // Collect the references below the value, in stream dictionaries too: a
    // form's or an appearance's resources stand there, and their fonts and
    // nested forms are read with the page.
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
      } else if (auto* Stream = As<TPDFStream>(Obj)) {
        Walk.emplace_back(Stream->Dictionary(), Depth + 1);
      }
    }
  }
}

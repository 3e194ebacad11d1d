// PDF objects, the structure that owns them, and the object parser.
#include "uPDFStructure.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <iterator>
#include <new>

#include "uPDFAscii85.h"
#include "uPDFHexRunLength.h"
#include "uPDFExtra.h"
#include "uPDFFlate.h"
#include "uPDFLZW.h"

namespace {

// The key names that NewSharedName reuses; a value counts when "[" + value + "]"
// occurs in this text.
constexpr std::string_view SharedKeyList =
    "[MediaBox][Length][CropBox][Type][Subtype][Name][Pages][Page][Parent][Font][Contents]"
    "[BaseFont][PDF][Text][ImageB][ImageC][ImageI][Resources][ProcSet][ExtGState][Type1]"
    "[TrueType][WinAnsiEncoding][Filter][FlateDecode][Annot][URI][Goto][XYZ][Tavu]";

bool IsSharedKeyName(std::string_view Value) {
  std::string Probe;
  Probe.reserve(Value.size() + 2);
  Probe += '[';
  Probe += Value;
  Probe += ']';
  return SharedKeyList.find(Probe) != std::string_view::npos;
}

constexpr char UpperHex[] = "0123456789ABCDEF";

}  // namespace

// ================================================================ TPDFObject

std::string TPDFObject::ToText() const {
  std::string Out;
  AppendText(Out, 0);
  return Out;
}

void TPDFObject::Release() {
  TPDFStructure* S = FStructure;
  if (auto* Stream = As<TPDFStream>(this)) {
    Stream->Dictionary()->Release();
  } else {
    // Children are only asked for: while this object holds them, they stay.
    ForEachChild([S](TPDFObject* Child) { S->FreeObject(Child, false); });
  }
  S->FreeObject(this, false);
}

void TPDFObject::ShiftNumbers(int, int) {}

bool TPDFObject::Contains(const TPDFObject*) const { return false; }

void TPDFObject::SetIndirect(int32_t Number, int32_t Generation) {
  IndirectNumber = Number;
  IndirectGeneration = Generation;
  Indirect = true;
}

// ================================================================ TPDFName

void TPDFName::SetValue(std::string_view V) {
  Structure()->NameValueChanging(this);
  FValue.assign(V);
  Structure()->NameValueChanged(this);
}

void TPDFName::AppendText(std::string& Out, int) const {
  Out += '/';
  for (unsigned char C : FValue) {
    bool Escape = C <= 0x20 || C >= 0x7F || C == '/' || C == '(' || C == ')' || C == '#' || C == '%' ||
                  C == '[' || C == ']' || C == '{' || C == '}' || C == '<' || C == '>';
    if (Escape) {
      Out += '#';
      Out += UpperHex[C >> 4];
      Out += UpperHex[C & 15];
    } else {
      Out += static_cast<char>(C);
    }
  }
}

// ================================================================ scalars

void TPDFNull::AppendText(std::string& Out, int) const { Out += "null"; }

void TPDFBoolean::AppendText(std::string& Out, int) const { Out += FValue ? "true" : "false"; }

int32_t TPDFNumeric::IntValue() const {
  if (std::isnan(FValue)) return 0;
  double R = std::nearbyint(FValue);  // default rounding: half to even
  if (R >= 2147483647.0) return INT32_MAX;
  if (R <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(R);
}

void TPDFNumeric::AppendText(std::string& Out, int) const {
  std::string S = FormatNumber(0, Structure()->NumberDecimals, FValue);
  if (S.find('.') != std::string::npos) {
    while (!S.empty() && S.back() == '0') S.pop_back();
    if (!S.empty() && S.back() == '.') S.pop_back();
  }
  Out += S;
}

void TPDFString::AppendText(std::string& Out, int) const {
  if (IsHex) {
    Out += '<';
    for (unsigned char C : FValue) {
      Out += UpperHex[C >> 4];
      Out += UpperHex[C & 15];
    }
    Out += '>';
    return;
  }
  Out += '(';
  for (char C : FValue) {
    switch (C) {
      case '\b': Out += "\\b"; break;
      case '\t': Out += "\\t"; break;
      case '\n': Out += "\\n"; break;
      case '\f': Out += "\\f"; break;
      case '\r': Out += "\\r"; break;
      case '(': Out += "\\("; break;
      case ')': Out += "\\)"; break;
      case '\\': Out += "\\\\"; break;
      default: Out += C;
    }
  }
  Out += ')';
}

// ================================================================ TPDFIndRef

TPDFObject* TPDFIndRef::Resolve() {
  auto& Resolver = Structure()->OnResolveReference;
  return Resolver ? Resolver(this, Number, Generation) : nullptr;
}

void TPDFIndRef::AppendText(std::string& Out, int) const {
  Out += std::to_string(Number);
  Out += ' ';
  Out += std::to_string(Generation);
  Out += " R";
}

void TPDFIndRef::ShiftNumbers(int Delta, int) {
  Number = static_cast<int32_t>(static_cast<uint32_t>(Number) + static_cast<uint32_t>(Delta));
}

// ================================================================ TPDFArray

TPDFObject* TPDFArray::GetItem(int Index) const {
  return Index >= 0 && Index < Count() ? FItems[Index] : nullptr;
}

void TPDFArray::Add(TPDFObject* Obj) {
  FItems.push_back(Obj);
  Hold(Obj);
}

void TPDFArray::SetItem(int Index, TPDFObject* Obj) {
  if (Index < 0 || Index >= Count()) return;
  TPDFObject* Old = FItems[Index];
  Structure()->FreeObject(Old, false);  // still held here, so it stays
  Unhold(Old);
  FItems[Index] = Obj;
  Hold(Obj);
}

void TPDFArray::Insert(int Index, TPDFObject* Obj) {
  if (Index < 0 || Index > Count()) return;
  FItems.insert(FItems.begin() + Index, Obj);
  Hold(Obj);
}

void TPDFArray::Delete(int Index) {
  if (Index < 0 || Index >= Count()) return;
  TPDFObject* Old = FItems[Index];
  Structure()->FreeObject(Old, false);
  Unhold(Old);
  FItems.erase(FItems.begin() + Index);
}

void TPDFArray::Remove(TPDFObject* Obj, bool ByText) {
  int Index = -1;
  if (ByText) {
    Index = IndexOfText(Obj);
  } else {
    auto It = std::find(FItems.begin(), FItems.end(), Obj);
    if (It != FItems.end()) Index = static_cast<int>(It - FItems.begin());
  }
  Delete(Index);
}

int TPDFArray::IndexOfText(const TPDFObject* Obj) const {
  if (!Obj) return -1;
  std::string Text = Obj->ToText();
  for (int I = 0; I < Count(); ++I)
    if (FItems[I] && FItems[I]->ToText() == Text) return I;
  return -1;
}

bool TPDFArray::ContainsText(std::string_view Text) const {
  for (TPDFObject* Item : FItems)
    if (Item && Item->ToText() == Text) return true;
  return false;
}

void TPDFArray::Move(int From, int To) {
  if (From < 0 || From >= Count() || To < 0 || To >= Count() || From == To) return;
  TPDFObject* Obj = FItems[From];
  FItems.erase(FItems.begin() + From);
  FItems.insert(FItems.begin() + To, Obj);
}

void TPDFArray::ReserveSlots(int N) {
  if (N > 0) FItems.reserve(FItems.size() + static_cast<size_t>(N));
}

void TPDFArray::AppendText(std::string& Out, int Depth) const {
  if (Depth > MaxObjectDepth) return;
  size_t Mark = Out.size();
  Out += "[ ";
  for (TPDFObject* Item : FItems) {
    if (!Item) continue;
    Item->AppendText(Out, Depth + 1);
    if (Out.back() != '\n') Out += ' ';
    if (Out.size() - Mark > 80) {
      Out += '\n';
      Mark = Out.size();
    }
  }
  Out += ']';
}

void TPDFArray::ShiftNumbers(int Delta, int Depth) {
  if (Depth > MaxObjectDepth) return;
  for (TPDFObject* Item : FItems)
    if (Item) Item->ShiftNumbers(Delta, Depth + 1);
}

bool TPDFArray::Contains(const TPDFObject* Obj) const {
  return Obj && std::find(FItems.begin(), FItems.end(), Obj) != FItems.end();
}

void TPDFArray::ForEachChild(const std::function<void(TPDFObject*)>& F) const {
  for (TPDFObject* Item : FItems)
    if (Item) F(Item);
}

// ================================================================ TPDFDictionary

TPDFDictionary::TPair TPDFDictionary::PairAt(int Index) const {
  return Index >= 0 && Index < Count() ? FEntries[Index] : TPair{nullptr, nullptr};
}

int TPDFDictionary::IndexOfKey(std::string_view Key) const {
  for (int I = Count() - 1; I >= 0; --I)
    if (FEntries[I].first && FEntries[I].first->Value() == Key) return I;
  return -1;
}

TPDFObject* TPDFDictionary::GetValue(std::string_view Key, bool Resolve) const {
  int I = IndexOfKey(Key);
  if (I < 0) return nullptr;
  TPDFObject* V = FEntries[I].second;
  if (Resolve)
    if (auto* Ref = As<TPDFIndRef>(V)) return Ref->Resolve();
  return V;
}

void TPDFDictionary::SetValue(std::string_view Key, TPDFObject* Obj) {
  if (Obj == this) return;
  TPDFName* Name = Structure()->NewSharedName(Key);
  int I = IndexOfKey(Key);
  if (I >= 0) {
    Unhold(FEntries[I].first);
    Unhold(FEntries[I].second);
    FEntries[I] = {Name, Obj};
  } else {
    FEntries.emplace_back(Name, Obj);
  }
  Hold(Name);
  Hold(Obj);
}

void TPDFDictionary::RemoveKey(std::string_view Key) {
  int I = IndexOfKey(Key);
  if (I < 0) return;
  Unhold(FEntries[I].first);
  Unhold(FEntries[I].second);
  FEntries.erase(FEntries.begin() + I);
}

void TPDFDictionary::DeleteKey(std::string_view Key) {
  int I = IndexOfKey(Key);
  if (I < 0) return;
  auto [Name, Value] = FEntries[I];
  if (As<TPDFDictionary>(Value) || As<TPDFArray>(Value)) Value->Release();
  if (!IsSharedKeyName(Key)) Structure()->FreeObject(Name, false);
  Unhold(Name);
  Unhold(Value);
  FEntries.erase(FEntries.begin() + I);
}

void TPDFDictionary::ClearEntries() {
  for (auto& [K, V] : FEntries) {
    Structure()->FreeObject(K, false);
    Structure()->FreeObject(V, false);
  }
  for (auto& [K, V] : FEntries) {
    Unhold(K);
    Unhold(V);
  }
  FEntries.clear();
}

std::string TPDFDictionary::GetTypeName() const {
  const auto* N = As<TPDFName>(GetValue(PDFKey::Type, false));
  return N ? N->Value() : std::string();
}

int32_t TPDFDictionary::GetInteger(std::string_view Key, int32_t Default) const {
  const auto* N = As<TPDFNumeric>(GetValue(Key, true));
  return N ? N->IntValue() : Default;
}

std::string TPDFDictionary::GetText(std::string_view Key) const {
  TPDFObject* V = GetValue(Key, true);
  if (const auto* N = As<TPDFName>(V)) return N->Value();
  if (const auto* S = As<TPDFString>(V)) return S->Value();
  return {};
}

void TPDFDictionary::ReplaceEntries(const std::vector<TPair>& Pairs) {
  std::vector<TPair> Old = std::move(FEntries);
  FEntries = Pairs;
  for (auto& [K, V] : FEntries) {
    Hold(K);
    Hold(V);
  }
  for (auto& [K, V] : Old) {
    Unhold(K);
    Unhold(V);
  }
}

void TPDFDictionary::Assign(TPDFDictionary* Source) {
  if (!Source || Source == this) return;
  if (Source->Structure() == Structure()) {
    ReplaceEntries(Source->FEntries);
    return;
  }
  if (auto* Copy = As<TPDFDictionary>(Structure()->ParseObject(Source->ToText())))
    ReplaceEntries(Copy->FEntries);
}

void TPDFDictionary::AppendText(std::string& Out, int Depth) const {
  if (Depth > MaxObjectDepth) return;
  const bool Multi = Count() > 1 || Structure()->MultiLineOutput;
  Out += "<<";
  Out += Multi ? '\n' : ' ';
  for (const auto& [K, V] : FEntries) {
    size_t EntryStart = Out.size();
    try {
      if (K) K->AppendText(Out, Depth + 1);
      Out += ' ';
      if (V) V->AppendText(Out, Depth + 1);
      if (Multi && Out.back() != '\n') Out += '\n';
    } catch (const std::exception&) {
      Out.resize(EntryStart);
      Out += "% bug \n";
    }
  }
  if (Count() == 1 && !Structure()->MultiLineOutput) Out += ' ';
  Out += ">>\n";
}

void TPDFDictionary::ShiftNumbers(int Delta, int Depth) {
  if (Depth > MaxObjectDepth) return;
  for (auto& [K, V] : FEntries)
    if (V) V->ShiftNumbers(Delta, Depth + 1);
}

bool TPDFDictionary::Contains(const TPDFObject* Obj) const {
  if (!Obj) return false;
  for (const auto& [K, V] : FEntries)
    if (K == Obj || V == Obj) return true;
  return false;
}

void TPDFDictionary::ForEachChild(const std::function<void(TPDFObject*)>& F) const {
  for (const auto& [K, V] : FEntries) {
    if (K) F(K);
    if (V) F(V);
  }
}

// ================================================================ TPDFStream

void TPDFStream::SetRawData(std::string Bytes) {
  FRawData = std::move(Bytes);
  const double Size = static_cast<double>(FRawData.size());
  if (auto* Len = As<TPDFNumeric>(FDictionary->GetValue(PDFKey::Length, false)))
    Len->SetValue(Size);
  else
    FDictionary->SetValue(PDFKey::Length, Structure()->NewNumber(Size));
}

void TPDFStream::SetData(std::string Bytes, bool Compress) {
  if (Compress) {
    SetRawData(DeflateBytes(Bytes));
    FDictionary->DeleteKey(PDFKey::Filter);
    FDictionary->SetValue(PDFKey::Filter, Structure()->NewName(PDFKey::FlateDecode));
  } else {
    SetRawData(std::move(Bytes));
    FDictionary->DeleteKey(PDFKey::Filter);
  }
}

bool TPDFStream::LoadFromFile(std::istream& File, bool Compress) {
  File.clear();
  File.seekg(0, std::ios::beg);
  std::string Bytes{std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>()};
  if (!Bytes.empty()) {
    SetData(std::move(Bytes), Compress);
  } else {
    SetRawData(std::string());
  }
  return !FRawData.empty();
}

void TPDFStream::SetDictionary(TPDFDictionary* Dict) {
  if (!Dict || Dict == FDictionary) return;
  TPDFDictionary* Old = FDictionary;
  FDictionary = Dict;
  Hold(Dict);
  Unhold(Old);
  // The old dictionary goes unless some container still holds it.
  if (Holders(Old) == 0) Structure()->FreeObject(Old, true);
}

std::string TPDFStream::GetDecodedData(size_t Limit) const { return Decode(Limit, nullptr); }

std::string TPDFStream::GetDecodedData(bool& Cut) const {
  Cut = false;
  return Decode(SIZE_MAX, &Cut);
}

std::string TPDFStream::Decode(size_t Limit, bool* Cut) const {
  // The filter list: a name, or the names of an array (other items skipped).
  std::vector<std::string_view> Filters;
  TPDFObject* Filter = FDictionary->GetValue(PDFKey::Filter, true);
  if (auto* Name = As<TPDFName>(Filter)) {
    Filters.push_back(Name->Value());
  } else if (auto* List = As<TPDFArray>(Filter)) {
    for (TPDFObject* Item : List->Items())
      if (auto* N = As<TPDFName>(Item)) Filters.push_back(N->Value());
  }
  if (Filters.empty()) return FRawData.substr(0, Limit);

  // Parameter dictionaries: /DecodeParms, or /DP when there is none.
  std::vector<TPDFDictionary*> Parms(Filters.size(), nullptr);
  TPDFObject* ParmsObj = FDictionary->IndexOfKey(PDFKey::DecodeParms) >= 0
                             ? FDictionary->GetValue(PDFKey::DecodeParms, true)
                             : FDictionary->GetValue(PDFKey::DP, true);
  if (auto* D = As<TPDFDictionary>(ParmsObj)) {
    Parms[0] = D;
  } else if (auto* A = As<TPDFArray>(ParmsObj)) {
    for (size_t I = 0; I < Filters.size() && I < A->Items().size(); ++I) Parms[I] = As<TPDFDictionary>(A->Items()[I]);
  }

  // The limit cuts the last step only (a cut input would give less output),
  // and not a predictor's input, which goes by whole rows.
  // Told to look for a cut, each step may give one byte past the cap: when
  // it does, the cap cut it.
  const size_t MaxSize = Structure()->MaxDecodedSize;
  const size_t Full = Cut && MaxSize != SIZE_MAX ? MaxSize + 1 : MaxSize;
  const size_t Limited = std::min(Limit, Full);
  // The stored bytes are read in place by the first filter, not copied.
  std::string Data;
  bool Decoded = false;
  auto Current = [&]() -> std::string_view { return Decoded ? std::string_view(Data) : std::string_view(FRawData); };
  for (size_t I = 0; I < Filters.size(); ++I) {
    const std::string_view F = Filters[I];
    TPDFDictionary* P = Parms[I];
    const size_t Cap = I + 1 == Filters.size() ? Limited : Full;
    if (F == "FlateDecode" || F == "Fl") {
      if (P)
        Data = InflateWithPredictor(Current(), P->GetInteger(PDFKey::Predictor, 1), P->GetInteger(PDFKey::Colors, 1),
                                    P->GetInteger(PDFKey::BitsPerComponent, 8), P->GetInteger(PDFKey::Columns, 1), Full);
      else
        Data = InflateBytes(Current(), Cap);
      Decoded = true;
    } else if (F == "ASCII85Decode" || F == "A85") {
      Data = DecodeASCII85(Current(), Cap);
      Decoded = true;
    } else if (F == "ASCIIHexDecode" || F == "AHx") {
      Data = DecodeASCIIHex(Current(), Cap);
      Decoded = true;
    } else if (F == "RunLengthDecode" || F == "RL") {
      Data = DecodeRunLength(Current(), Cap);
      Decoded = true;
    } else if (F == "LZWDecode") {
      TPDFLZWDecompressor LZW;
      LZW.MsbFirst = true;
      LZW.InitialWidth = 9;
      const auto* Early = P ? As<TPDFNumeric>(P->GetValue(PDFKey::EarlyChange, true)) : nullptr;
      LZW.EarlyChange = !Early || Early->IntValue() == 1;
      Data = LZW.Decode(Current(), P ? Full : Cap);
      if (P && P->GetInteger(PDFKey::Predictor, 1) > 1)
        Data = ApplyPredictor(std::move(Data), P->GetInteger(PDFKey::Predictor, 1), P->GetInteger(PDFKey::Colors, 1),
                              P->GetInteger(PDFKey::BitsPerComponent, 8), P->GetInteger(PDFKey::Columns, 1));
      Decoded = true;
    }
    // Any other filter (images, Crypt...) passes its bytes on.
    if (Decoded && Data.size() > Cap) Data.resize(Cap);
    if (Cut && Decoded && Data.size() > MaxSize) {
      Data.resize(MaxSize);
      *Cut = true;
    }
  }
  if (Decoded && Data.size() > Limited) Data.resize(Limited);
  return Decoded ? Data : std::string(Current().substr(0, std::min(Limited, MaxSize)));
}

void TPDFStream::AppendText(std::string& Out, int Depth) const {
  if (Depth > MaxObjectDepth) return;
  FDictionary->AppendText(Out, Depth + 1);
  Out += "stream\n";
  Out += FRawData;
  Out += "\nendstream";
}

void TPDFStream::ShiftNumbers(int Delta, int Depth) {
  if (Depth > MaxObjectDepth) return;
  FDictionary->ShiftNumbers(Delta, Depth + 1);
}

bool TPDFStream::Contains(const TPDFObject* Obj) const { return FDictionary->Contains(Obj); }

// ================================================================ parser

// One forward pass over Text with a 1-based position, as the syntax rules are
// stated; the only state left behind is each dictionary's EndPos.
class TPDFParser {
 public:
  TPDFParser(TPDFStructure& S, std::string_view Text) : FS(S), FText(Text.data()), FSize(static_cast<int64_t>(Text.size())) {}

  TPDFObject* Parse() {
    if (FSize == 0) return nullptr;
    FPos = 1;
    Skip();
    return ReadObject(0);
  }

 private:
  TPDFStructure& FS;
  const char* FText;
  int64_t FSize;
  int64_t FPos = 1;
  // Where a literal string was last found unterminated: containers that stop
  // there ask again at every nesting level, and the answer does not change.
  int64_t FUnterminatedString = 0;
  // Set when nesting went too deep: from there on the text counts as ended.
  bool FCut = false;

  unsigned char At(int64_t P) const { return static_cast<unsigned char>(FText[P - 1]); }
  std::string_view Slice(int64_t From, int64_t Count) const {
    return Count > 0 ? std::string_view(FText + From - 1, static_cast<size_t>(Count)) : std::string_view();
  }

  // Whitespace and comments; the last byte of the text is never skipped.
  void Skip() {
    while (FPos < FSize) {
      unsigned char C = At(FPos);
      if (IsPDFWhite(C)) {
        ++FPos;
      } else if (C == '%') {
        while (FPos < FSize && At(FPos) != '\r' && At(FPos) != '\n') ++FPos;
        if (At(FPos) == '\r' && FPos < FSize && At(FPos + 1) == '\n')
          FPos += 2;
        else
          ++FPos;
      } else {
        break;
      }
    }
  }

  // "true", "false", "null": the whole rest of the text, or followed by
  // whitespace or a delimiter.
  bool MatchKeyword(std::string_view Word) const {
    const int64_t Len = static_cast<int64_t>(Word.size());
    const int64_t Remaining = FSize - FPos + 1;
    if (Remaining < Len || Slice(FPos, Len) != Word) return false;
    if (Remaining == Len) return true;
    unsigned char After = At(FPos + Len);
    return IsPDFWhite(After) || IsPDFDelimiter(After);
  }

  TPDFObject* ReadObject(int Depth) {
    if (FPos > FSize || FCut) return nullptr;
    const unsigned char C = At(FPos);
    const int64_t Rest = FSize - FPos;
    const bool Dictionary = Rest >= 3 && C == '<' && At(FPos + 1) == '<';
    const bool Array = Rest >= 2 && C == '[';
    if ((Dictionary || Array) && Depth >= MaxObjectDepth) {
      FCut = true;
      return nullptr;
    }
    if (Dictionary) return ReadDictionary(Depth);
    if (Array) return ReadArray(Depth);
    if (C == 't' && MatchKeyword("true")) {
      FPos += 4;
      return FS.NewBoolean(true);
    }
    if (C == 'f' && MatchKeyword("false")) {
      FPos += 5;
      return FS.NewBoolean(false);
    }
    if (C == 'n' && MatchKeyword("null")) {
      FPos += 4;
      return FS.NewNull();
    }
    if (C == '-' || C == '.' || IsPDFDigit(C)) return ReadNumberOrReference();
    if (C == '(') return ReadLiteralString();
    if (Rest >= 2 && C == '<') return ReadHexString();
    if (C == '/') return ReadName();
    return nullptr;
  }

  TPDFObject* ReadDictionary(int Depth) {
    FPos += 2;
    TPDFDictionary* Dict = FS.NewDictionary();
    auto& Entries = Dict->FEntries;
    // Big dictionaries find repeated keys through a map, not a scan per key.
    constexpr size_t MapThreshold = 16;
    std::unordered_map<std::string_view, size_t> KeyIndex;
    for (;;) {
      Skip();
      TPDFObject* Key = ReadObject(Depth + 1);
      Skip();
      TPDFObject* Value = ReadObject(Depth + 1);
      auto* Name = As<TPDFName>(Key);
      if (!Name || !Value) break;
      std::string_view KeyText = Name->Value();
      int Existing = -1;
      if (Entries.size() < MapThreshold) {
        Existing = Dict->IndexOfKey(KeyText);
      } else {
        if (KeyIndex.empty())
          for (size_t I = 0; I < Entries.size(); ++I) KeyIndex[Entries[I].first->Value()] = I;
        auto It = KeyIndex.find(KeyText);
        if (It != KeyIndex.end()) Existing = static_cast<int>(It->second);
      }
      ++Name->FHolders;
      ++Value->FHolders;
      if (Existing >= 0) {
        auto& Entry = Entries[Existing];
        --Entry.first->FHolders;
        --Entry.second->FHolders;
        if (!KeyIndex.empty()) KeyIndex.erase(Entry.first->Value());
        Entry = {Name, Value};
        if (!KeyIndex.empty() || Entries.size() >= MapThreshold) KeyIndex[KeyText] = Existing;
      } else {
        Entries.emplace_back(Name, Value);
        if (!KeyIndex.empty()) KeyIndex[KeyText] = Entries.size() - 1;
      }
    }
    if (!FCut && FPos < FSize && At(FPos) == '>' && At(FPos + 1) == '>') FPos += 2;
    Dict->EndPos = FPos;
    return Dict;
  }

  TPDFObject* ReadArray(int Depth) {
    FPos += 1;
    TPDFArray* Arr = FS.NewArray();
    for (;;) {
      Skip();
      TPDFObject* Item = ReadObject(Depth + 1);
      if (!Item) break;
      Arr->FItems.push_back(Item);
      ++Item->FHolders;
    }
    if (!FCut && FPos <= FSize && At(FPos) == ']') ++FPos;
    return Arr;
  }

  // A number token: a first byte ("-", "." or a digit), then digits and at most
  // one "." in all. Gives its value and whether it had a ".".
  double ReadNumberToken(bool& HasPoint) {
    const int64_t Start = FPos;
    const unsigned char First = At(FPos);
    HasPoint = First == '.';
    const bool Negative = First == '-';
    // Integer tokens are read here as a 32-bit value; a token that does not fit
    // (or is just "-") gives 0.
    int64_t Value = IsPDFDigit(First) ? First - '0' : 0;
    bool Fits = IsPDFDigit(First);
    ++FPos;
    while (FPos <= FSize) {
      unsigned char C = At(FPos);
      if (IsPDFDigit(C)) {
        if (Value <= int64_t{2147483648}) Value = Value * 10 + (C - '0');
        Fits = true;
        ++FPos;
      } else if (C == '.' && !HasPoint) {
        HasPoint = true;
        ++FPos;
      } else {
        break;
      }
    }
    if (HasPoint) {
      // A leading or trailing "." reads the same with or without the "0" the
      // syntax pads it with, so the token is read as it stands.
      return StrToNumber(Slice(Start, FPos - Start));
    }
    if (!Fits) return 0;
    if (Negative) Value = -Value;
    return Value > INT32_MAX || Value < INT32_MIN ? 0 : static_cast<double>(Value);
  }

  TPDFObject* ReadNumberOrReference() {
    bool HasPoint = false;
    const double First = ReadNumberToken(HasPoint);
    const int64_t After = FPos;
    if (!HasPoint) {
      Skip();
      if (FPos <= FSize && IsPDFDigit(At(FPos))) {
        bool SecondPoint = false;
        const double Second = ReadNumberToken(SecondPoint);
        Skip();
        if (FPos <= FSize && At(FPos) == 'R') {
          ++FPos;
          return FS.NewIndRef(static_cast<int32_t>(First), static_cast<int32_t>(std::trunc(Second)));
        }
      }
    }
    FPos = After;
    return FS.NewNumber(First);
  }

  TPDFObject* ReadLiteralString() {
    if (FPos == FUnterminatedString) return nullptr;
    int Depth = 1;
    int64_t I = FPos + 1;
    for (; I <= FSize; ++I) {
      unsigned char C = At(I);
      if (C == '\\') {
        if (I <= FSize - 2) {
          unsigned char N = At(I + 1);
          if (N == '(' || N == ')' || N == '\\') ++I;
        }
      } else if (C == '(') {
        ++Depth;
      } else if (C == ')') {
        if (--Depth == 0) break;
      }
    }
    if (Depth != 0) {
      FUnterminatedString = FPos;
      return nullptr;
    }
    std::string_view Raw = Slice(FPos + 1, I - FPos - 1);
    FPos = I + 1;
    return FS.NewString(UnescapeRaw(Raw), 0);
  }

  // The object parser's escapes (unlike the content-stream form, a bare CR
  // becomes LF and an unknown escape keeps its backslash).
  static std::string UnescapeRaw(std::string_view Raw) {
    if (Raw.find_first_of("\\\r") == std::string_view::npos) return std::string(Raw);
    std::string Out;
    Out.reserve(Raw.size());
    const size_t N = Raw.size();
    size_t K = 0;
    while (K < N) {
      char C = Raw[K];
      if (C == '\r') {
        Out += '\n';
        ++K;
        if (K < N && Raw[K] == '\n') ++K;
        continue;
      }
      if (C != '\\' || K + 1 >= N) {
        Out += C;
        ++K;
        continue;
      }
      char Next = Raw[K + 1];
      if (IsPDFDigit(static_cast<unsigned char>(Next))) {
        unsigned Value = 0;
        size_t J = K + 1;
        for (int Digits = 0; Digits < 3 && J < N && IsPDFDigit(static_cast<unsigned char>(Raw[J])); ++Digits, ++J)
          Value = Value * 8 + static_cast<unsigned>(Raw[J] - '0');
        Out += static_cast<char>(Value & 0xFF);
        K = J;
        continue;
      }
      K += 2;
      switch (Next) {
        case 'n': Out += '\n'; break;
        case 'r': Out += '\r'; break;
        case 't': Out += '\t'; break;
        case 'b': Out += '\b'; break;
        case 'f': Out += '\f'; break;
        case '(': case ')': case '\\': Out += Next; break;
        case '\n': break;
        case '\r':
          if (K < N && Raw[K] == '\n') ++K;
          break;
        default:
          Out += '\\';
          Out += Next;
      }
    }
    return Out;
  }

  TPDFObject* ReadHexString() {
    int64_t Close = FPos + 1;
    while (Close <= FSize && At(Close) != '>') ++Close;
    std::string_view Digits;
    if (Close > FSize) {
      Digits = Slice(FPos + 1, FSize - 1 - FPos);
      FPos = FSize + 1;
    } else {
      Digits = Slice(FPos + 1, Close - FPos - 1);
      FPos = Close + 1;
    }
    std::string Bytes;
    Bytes.reserve(Digits.size() / 2 + 1);
    int High = -1;
    for (unsigned char C : Digits) {
      int V = HexDigitValue(C);
      if (V < 0) continue;
      if (High < 0) {
        High = V;
      } else {
        Bytes += static_cast<char>(High * 16 + V);
        High = -1;
      }
    }
    if (High >= 0) Bytes += static_cast<char>(High * 16);
    return FS.NewString(std::move(Bytes), 1);
  }

  TPDFObject* ReadName() {
    int64_t End = FPos + 1;
    while (End <= FSize && !IsPDFWhite(At(End)) && !IsPDFDelimiter(At(End))) ++End;
    std::string_view Raw = Slice(FPos + 1, End - FPos - 1);
    FPos = End;
    if (Raw.find('#') == std::string_view::npos) return FS.NewName(Raw);
    std::string Value;
    Value.reserve(Raw.size());
    for (size_t I = 0; I < Raw.size(); ++I) {
      if (Raw[I] == '#' && I + 2 < Raw.size()) {
        int H = HexDigitValue(static_cast<unsigned char>(Raw[I + 1]));
        int L = HexDigitValue(static_cast<unsigned char>(Raw[I + 2]));
        if (H >= 0 && L >= 0) {
          Value += static_cast<char>(H * 16 + L);
          I += 2;
          continue;
        }
      }
      Value += Raw[I];
    }
    return FS.NewName(Value);
  }
};

// ================================================================ TPDFStructure

TPDFStructure::TPDFStructure() { Clear(); }

TPDFStructure::~TPDFStructure() { DestroyAll(); }

void TPDFStructure::DestroyAll() {
  // Numbers, booleans, nulls and references own nothing: their storage simply
  // goes with the arena.
  auto Destroy = [](TPDFObject* Obj) {
    switch (Obj->Class()) {
      case TPDFClass::Numeric: case TPDFClass::Boolean: case TPDFClass::Null: case TPDFClass::IndRef: return;
      default: Obj->~TPDFObject();
    }
  };
  for (TPDFObject* Obj : FTable)
    if (Obj) Destroy(Obj);
  for (TPDFObject* Obj : FDeadObjects) Destroy(Obj);
  FDeadObjects.clear();
}

void TPDFStructure::Clear() {
  DestroyAll();
  FTable.clear();
  FTable.shrink_to_fit();
  FTombstones = 0;
  FChunks.clear();
  FPendingNames.clear();
  FNameIndex.clear();
  MultiLineOutput = true;
  NumberDecimals = 4;
}

void* TPDFStructure::Allocate(size_t Bytes) {
  constexpr size_t Align = alignof(TPDFObject);
  Bytes = (Bytes + Align - 1) & ~(Align - 1);
  if (FChunks.empty() || FChunks.back().Size - FChunks.back().Used < Bytes) {
    // Chunks grow with the structure so that big documents need few of them.
    size_t Size = std::max<size_t>(Bytes, FChunks.empty() ? 4096 : std::min<size_t>(FChunks.back().Size * 2, 1 << 20));
    FChunks.push_back({std::unique_ptr<std::byte[]>(new std::byte[Size]), 0, Size});
  }
  TChunk& C = FChunks.back();
  void* P = C.Data.get() + C.Used;
  C.Used += Bytes;
  return P;
}

template <class T, class... A>
T* TPDFStructure::Make(A&&... Args) {
  T* Obj = new (Allocate(sizeof(T))) T(this, std::forward<A>(Args)...);
  Register(Obj);
  return Obj;
}

void TPDFStructure::Register(TPDFObject* Obj) {
  Obj->FSlot = static_cast<uint32_t>(FTable.size());
  FTable.push_back(Obj);
}

TPDFDictionary* TPDFStructure::NewDictionary() { return Make<TPDFDictionary>(); }
TPDFArray* TPDFStructure::NewArray() { return Make<TPDFArray>(); }
TPDFNull* TPDFStructure::NewNull() { return Make<TPDFNull>(); }
TPDFNumeric* TPDFStructure::NewNumber(double Value) { return Make<TPDFNumeric>(Value); }
TPDFBoolean* TPDFStructure::NewBoolean(bool Value) { return Make<TPDFBoolean>(Value); }
TPDFString* TPDFStructure::NewString(std::string Value, uint8_t IsHex) {
  return Make<TPDFString>(std::move(Value), IsHex);
}
TPDFIndRef* TPDFStructure::NewIndRef(int32_t Number, int32_t Generation) {
  return Make<TPDFIndRef>(Number, Generation);
}

TPDFName* TPDFStructure::NewName(std::string_view Value) {
  TPDFName* Name = Make<TPDFName>(Value);
  Name->FSerial = FNextSerial++;
  Name->FNamePos = FPendingNames.size();
  Name->FNameIndexed = false;
  FPendingNames.push_back(Name);
  return Name;
}

TPDFName* TPDFStructure::NewSharedName(std::string_view Value) {
  TPDFName* Name = IsSharedKeyName(Value) ? FindName(Value) : nullptr;
  if (!Name) Name = NewName(Value);
  Name->Shared = true;
  return Name;
}

TPDFStream* TPDFStructure::NewStream(std::string Data) {
  TPDFDictionary* Dict = NewDictionary();
  TPDFStream* Stream = Make<TPDFStream>(Dict);
  ++Dict->FHolders;
  Stream->SetRawData(std::move(Data));
  return Stream;
}

TPDFArray* TPDFStructure::NewNumberArray(const std::vector<int>& Values) {
  TPDFArray* Arr = NewArray();
  Arr->ReserveSlots(static_cast<int>(Values.size()));
  for (int V : Values) Arr->Add(NewNumber(V));
  return Arr;
}

TPDFArray* TPDFStructure::NewNumberArray(const std::vector<double>& Values) {
  TPDFArray* Arr = NewArray();
  Arr->ReserveSlots(static_cast<int>(Values.size()));
  for (double V : Values) Arr->Add(NewNumber(V));
  return Arr;
}

TPDFArray* TPDFStructure::NewNumberArray(const std::vector<TPDFNumeric*>& Values) {
  TPDFArray* Arr = NewArray();
  Arr->ReserveSlots(static_cast<int>(Values.size()));
  for (TPDFNumeric* V : Values) Arr->Add(V);
  return Arr;
}

TPDFObject* TPDFStructure::ParseObject(std::string_view Text) { return TPDFParser(*this, Text).Parse(); }

// ---------------------------------------------------------------- name index

namespace {
template <class List>
auto LowerBoundSerial(List& Names, uint64_t Serial) {
  return std::lower_bound(Names.begin(), Names.end(), Serial,
                          [](const auto& Entry, uint64_t S) { return Entry.first < S; });
}
}  // namespace

void TPDFStructure::IndexPendingNames() {
  for (TPDFName* Name : FPendingNames) {
    if (!Name) continue;
    Name->FNameIndexed = true;
    FNameIndex[Name->FValue].Names.emplace_back(Name->FSerial, Name);
  }
  FPendingNames.clear();
}

void TPDFStructure::UnindexName(TPDFName* Name) {
  if (!Name->FNameIndexed) {
    if (Name->FNamePos < FPendingNames.size() && FPendingNames[Name->FNamePos] == Name)
      FPendingNames[Name->FNamePos] = nullptr;
    return;
  }
  auto It = FNameIndex.find(Name->FValue);
  if (It == FNameIndex.end()) return;
  auto& List = It->second.Names;
  auto Pos = LowerBoundSerial(List, Name->FSerial);
  if (Pos != List.end() && Pos->first == Name->FSerial) Pos->second = nullptr;
  Name->FNameIndexed = false;
}

void TPDFStructure::NameValueChanging(TPDFName* Name) {
  if (!Name->FNameIndexed) return;  // still pending: filed under its value later
  UnindexName(Name);
  Name->FNameIndexed = true;  // re-filed under the new value by NameValueChanged
}

void TPDFStructure::NameValueChanged(TPDFName* Name) {
  if (!Name->FNameIndexed) return;
  auto& List = FNameIndex[Name->FValue].Names;
  List.insert(LowerBoundSerial(List, Name->FSerial), {Name->FSerial, Name});
}

TPDFName* TPDFStructure::FindName(std::string_view Value) {
  IndexPendingNames();
  auto It = FNameIndex.find(std::string(Value));
  if (It == FNameIndex.end()) return nullptr;
  TNameBucket& B = It->second;
  while (B.Head < B.Names.size() && !B.Names[B.Head].second) ++B.Head;
  return B.Head < B.Names.size() ? B.Names[B.Head].second : nullptr;
}

// ---------------------------------------------------------------- freeing

void TPDFStructure::FreeObject(TPDFObject* Obj, bool Force) {
  if (!Obj || Obj->FStructure != this || Obj->FDead) return;
  if (Obj->FSlot >= FTable.size() || FTable[Obj->FSlot] != Obj) return;
  if (!Force) {
    if (auto* Name = As<TPDFName>(Obj); Name && Name->Shared) return;
    if (Obj->FHolders > 0) return;
  }
  FTable[Obj->FSlot] = nullptr;
  ++FTombstones;
  Destroy(Obj);
}

void TPDFStructure::Destroy(TPDFObject* Obj) {
  Obj->ForEachChild([](TPDFObject* Child) {
    if (Child->FHolders) --Child->FHolders;
  });
  TPDFDictionary* StreamDict = nullptr;
  if (auto* Stream = As<TPDFStream>(Obj)) {
    StreamDict = Stream->FDictionary;
    if (StreamDict->FHolders) --StreamDict->FHolders;
  }
  if (auto* Name = As<TPDFName>(Obj)) UnindexName(Name);
  Obj->DropContents();
  Obj->FDead = true;
  FDeadObjects.push_back(Obj);
  // A stream's own dictionary goes with it unless something else holds it.
  if (StreamDict) FreeObject(StreamDict, false);
}

void TPDFStructure::Compact() {
  if (!FTombstones) return;
  size_t Out = 0;
  for (TPDFObject* Obj : FTable) {
    if (!Obj) continue;
    Obj->FSlot = static_cast<uint32_t>(Out);
    FTable[Out++] = Obj;
  }
  FTable.resize(Out);
  FTombstones = 0;
}

TPDFObject* TPDFStructure::ObjectAt(int64_t Index) {
  Compact();
  return Index >= 0 && static_cast<uint64_t>(Index) < FTable.size() ? FTable[static_cast<size_t>(Index)] : nullptr;
}

void TPDFStructure::ReserveSlots(size_t N) {
  if (SpareSlots() < N) FTable.reserve(FTable.size() + N);
}

// ================================================================ TPDFRectangle

TPDFRectangle::TPDFRectangle(TPDFObject* Obj) {
  auto* Arr = As<TPDFArray>(Obj);
  if (!Arr || Arr->Count() != 4) return;
  TPDFNumeric* N[4];
  for (int I = 0; I < 4; ++I)
    if (!(N[I] = As<TPDFNumeric>(Arr->GetItem(I)))) return;
  FSource = Arr;
  FLeft = N[0];
  FBottom = N[1];
  FRight = N[2];
  FTop = N[3];
  if (FRight->Value() < FLeft->Value()) std::swap(FLeft, FRight);
  if (FTop->Value() < FBottom->Value()) std::swap(FBottom, FTop);
}

double TPDFRectangle::Left() const { return FLeft ? FLeft->Value() : 0; }
double TPDFRectangle::Bottom() const { return FBottom ? FBottom->Value() : 0; }
double TPDFRectangle::Right() const { return FRight ? FRight->Value() : 0; }
double TPDFRectangle::Top() const { return FTop ? FTop->Value() : 0; }

double TPDFRectangle::Side(int Kind) const {
  switch (Kind & 0x7F) {
    case 0: return Left();
    case 1: return Top();
    case 2: return Width();
    case 3: return Height();
    case 4: return Right();
    case 5: return Bottom();
    default: return 0;
  }
}

// ================================================================ TPDFNameTree

TPDFNameTree::TPDFNameTree(TPDFStructure* Structure, TPDFDictionary* Root) : FStructure(Structure), FRoot(Root) {
  if (!FRoot) return;
  if (FRoot->Count() == 0) FRoot->SetValue(PDFKey::Names, FStructure->NewArray());
  FSingleNode = FRoot->GetValue("Kids", false) == nullptr;
  FNames = As<TPDFArray>(FRoot->GetValue(PDFKey::Names, true));
}

TPDFIndRef* TPDFNameTree::Find(std::string_view Name) const {
  if (!FNames) return nullptr;
  for (int I = 0; I < FNames->Count(); I += 2) {
    auto* Key = As<TPDFString>(FNames->GetItem(I));
    if (Key && Key->Value() == Name) return As<TPDFIndRef>(FNames->GetItem(I + 1));
  }
  return nullptr;
}

int TPDFNameTree::Count() const {
  if (!FNames) return 0;
  int N = 0;
  for (int I = 0; I < FNames->Count(); I += 2)
    if (As<TPDFString>(FNames->GetItem(I))) ++N;
  return N;
}

std::string TPDFNameTree::NameAt(int Index) const {
  if (!FNames || Index < 1) return {};
  int N = 0;
  for (int I = 0; I < FNames->Count(); I += 2)
    if (auto* Key = As<TPDFString>(FNames->GetItem(I)); Key && ++N == Index) return Key->Value();
  return {};
}

void TPDFNameTree::Add(std::string_view Name, TPDFIndRef* Ref) {
  if (!FNames) return;
  int InsertAt = 0;
  for (int I = 0; I < FNames->Count(); I += 2) {
    auto* Key = As<TPDFString>(FNames->GetItem(I));
    if (Key && std::string_view(Key->Value()) < Name) InsertAt = std::min(I + 2, FNames->Count());
  }
  FNames->Insert(InsertAt, FStructure->NewString(std::string(Name), 0));
  FNames->Insert(InsertAt + 1, Ref);
}

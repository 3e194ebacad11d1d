// Cross-reference reader: the start offset, classic tables, cross-reference
// streams, hybrid files and the Prev chain.
#include "uPDFXRef.h"

#include <algorithm>
#include <vector>

#include "uPDFExtra.h"
#include "uPDFStructure.h"

namespace {

// Hybrid files nest: a table's XRefStm stream may have its own Prev chain, and
// so on. Deeper nesting than this is not followed.
constexpr int MaxXRefNesting = 32;

// 1-based position of the first Needle in Text, 0 when absent.
int64_t FirstPos(std::string_view Text, std::string_view Needle) {
  size_t P = Text.find(Needle);
  return P == std::string_view::npos ? 0 : static_cast<int64_t>(P) + 1;
}

int32_t DigitsToInt(std::string_view Digits, int32_t Default) { return ReadInt32(Digits).value_or(Default); }

// A direct number of Dict under Key (references count as absent).
const TPDFNumeric* DirectNumber(const TPDFDictionary* Dict, std::string_view Key) {
  return As<TPDFNumeric>(Dict->GetValue(Key, false));
}

}  // namespace

// ================================================================ TXRStringStream

int64_t TXRStringStream::Read(char* Buffer, int64_t Count) {
  int64_t N = std::max<int64_t>(0, std::min(Count, Size() - Position));
  if (N > 0) FData.copy(Buffer, static_cast<size_t>(N), static_cast<size_t>(Position));
  Position += N;
  return N;
}

int64_t TXRStringStream::Seek(int64_t Offset, int Origin) {
  int64_t P = Origin == 0 ? Offset : Origin == 1 ? Position + Offset : Size() - Offset;
  Position = std::clamp<int64_t>(P, 0, Size());
  return Position;
}

// ================================================================ TPDFXRefReader

std::string_view TPDFXRefReader::ReadAt(int64_t Pos, int64_t Count) const {
  std::string_view Data = FSource->Data();
  if (Pos < 0) Pos = 0;
  if (Pos >= static_cast<int64_t>(Data.size()) || Count <= 0) return {};
  return Data.substr(static_cast<size_t>(Pos), static_cast<size_t>(std::min<int64_t>(Count, Data.size() - Pos)));
}

int32_t TPDFXRefReader::FindStartXRef() const {
  const int64_t Size = FSource->Size();
  const int64_t WindowStart = std::max<int64_t>(0, Size - 1024);
  std::string_view Window = ReadAt(WindowStart, 1024);
  size_t Eof = Window.rfind("%%EOF");
  if (Eof != std::string_view::npos) {
    // Whatever number stands last before the last "%%EOF" is the offset.
    const int64_t End = WindowStart + static_cast<int64_t>(Eof);
    const int64_t From = std::max<int64_t>(0, End - 5000);
    std::string_view Before = ReadAt(From, End - From);
    size_t I = Before.size();
    while (I > 0 && IsPDFWhite(static_cast<unsigned char>(Before[I - 1]))) --I;
    size_t DigitsEnd = I;
    while (I > 0 && IsPDFDigit(static_cast<unsigned char>(Before[I - 1]))) --I;
    return DigitsToInt(Before.substr(I, DigitsEnd - I), 0);
  }
  size_t Key = Window.find("startxref");
  if (Key == std::string_view::npos) return 0;
  size_t I = Key + 9;
  while (I < Window.size() && IsPDFWhite(static_cast<unsigned char>(Window[I]))) ++I;
  size_t Start = I;
  while (I < Window.size() && IsPDFDigit(static_cast<unsigned char>(Window[I]))) ++I;
  return DigitsToInt(Window.substr(Start, I - Start), 0);
}

bool TPDFXRefReader::ReadSection(int64_t Offset) { return ReadChain(Offset, 0); }

bool TPDFXRefReader::ReadChain(int64_t Offset, int Depth) {
  for (;;) {
    // A Prev or XRefStm leading back to a section already read ends the chain.
    if (!FVisited.insert(Offset).second) return true;
    if (OnSection) OnSection(static_cast<int32_t>(Offset));
    const int64_t Start = std::max<int64_t>(0, Offset - 10);
    std::string_view Window = ReadAt(Start, 1024);
    const int64_t T = FirstPos(Window, "txref");
    int64_t X = FirstPos(Window, "xref");
    const int64_t O = FirstPos(Window, " obj");
    if (T > 0 && X > 0 && X == T + 1) X = 0;  // the tail of "startxref"
    int64_t Next = -1;
    bool Ok;
    // When both keywords stand in the window, the one nearer the offset
    // decides: a cross-reference stream written shortly before a table is read
    // as the stream it is.
    if (O > 0 && (X == 0 || O < X))
      Ok = ReadXRefStream(Start + O + 3, Next);
    else if (X > 0 && (O == 0 || O > X))
      Ok = ReadXRefTable(Start + X + 3, Next, Depth);
    else
      return false;
    if (!Ok) return false;
    if (Next < 0) return true;
    Offset = Next;
  }
}

bool TPDFXRefReader::ReadXRefTable(int64_t Pos, int64_t& Next, int Depth) {
  Next = -1;
  for (;;) {
    // Subsection header: first object number and count.
    std::string_view Header = ReadAt(Pos, 20);
    if (Header.find("trailer") != std::string_view::npos) break;
    auto Digit = [&](size_t I) { return IsPDFDigit(static_cast<unsigned char>(Header[I])); };
    size_t I = 0;
    while (I < Header.size() && !Digit(I)) ++I;
    size_t S = I;
    while (I < Header.size() && Digit(I)) ++I;
    const int32_t First = DigitsToInt(Header.substr(S, I - S), -1);
    if (I < Header.size()) ++I;
    while (I < Header.size() && !Digit(I)) ++I;
    S = I;
    while (I < Header.size() && Digit(I)) ++I;
    const int32_t Count = DigitsToInt(Header.substr(S, I - S), 0);
    if (I < Header.size()) ++I;
    while (I < Header.size() && !Digit(I)) ++I;
    Pos += static_cast<int64_t>(I);
    if (First < 0 || Count <= 0) break;

    // Entries: Count x 20 bytes with "trailer" appended as a stop mark. Entries
    // are 18 bytes plus any spaces and line ends, so 19- and 20-byte entries
    // both read. A count larger than the file is bounded by the file.
    std::string_view Entries = ReadAt(Pos, int64_t{Count} * 20);
    constexpr std::string_view Mark = "trailer";
    const int64_t TextLength = static_cast<int64_t>(Entries.size() + Mark.size());
    auto ByteAt = [&](int64_t P) -> char {  // 1-based
      if (P < 1 || P > TextLength) return '\0';
      size_t K = static_cast<size_t>(P - 1);
      return K < Entries.size() ? Entries[K] : Mark[K - Entries.size()];
    };
    auto Field = [&](int64_t P, int64_t Len) {
      std::string F;
      for (int64_t K = 0; K < Len && P + K <= TextLength; ++K) F += ByteAt(P + K);
      return DigitsToInt(F, 0);
    };
    int64_t P = 1;
    for (int64_t Number = First; Number < int64_t{First} + Count && P <= TextLength; ++Number) {
      const int32_t Offset = Field(P, 10);
      const int32_t Generation = Field(P + 11, 5);
      const char Kind = ByteAt(P + 17);
      if (OnEntry) OnEntry(static_cast<int32_t>(Number), Offset, Kind, Generation);
      P += 18;
      while (P <= TextLength && (ByteAt(P) == ' ' || ByteAt(P) == '\n' || ByteAt(P) == '\r')) ++P;
    }
    Pos += P - 1;
  }

  // The trailer dictionary, within 2048 bytes.
  std::string_view Tail = ReadAt(Pos, 2048);
  size_t Key = Tail.find("trailer");
  if (Key == std::string_view::npos) return false;
  Tail.remove_prefix(Key + 7);
  if (Tail.find("<<") == std::string_view::npos || Tail.find(">>") == std::string_view::npos) return false;
  TPDFStructure S;
  auto* Trailer = As<TPDFDictionary>(S.ParseObject(Tail));
  if (!Trailer) return false;
  if (OnTrailer) OnTrailer(Trailer->ToText());
  // A hybrid file's stream section: read now, its result does not count.
  if (const TPDFNumeric* XRefStm = DirectNumber(Trailer, "XRefStm"); XRefStm && Depth < MaxXRefNesting)
    ReadChain(XRefStm->IntValue(), Depth + 1);
  if (const TPDFNumeric* Prev = DirectNumber(Trailer, "Prev")) Next = Prev->IntValue();
  return true;
}

bool TPDFXRefReader::ReadXRefStream(int64_t Pos, int64_t& Next) {
  Next = -1;
  std::string_view Window = ReadAt(Pos, 20480);
  TPDFStructure S;
  auto* Dict = As<TPDFDictionary>(S.ParseObject(Window));
  if (!Dict || Dict->GetTypeName() != "XRef") return false;
  const TPDFNumeric* Size = DirectNumber(Dict, "Size");
  if (!Size) return false;

  // Subsections (first, count).
  std::vector<std::pair<int64_t, int64_t>> Sections;
  if (auto* Index = As<TPDFArray>(Dict->GetValue("Index", false))) {
    auto Item = [&](int I) {
      const auto* N = As<TPDFNumeric>(Index->GetItem(I));
      return N ? int64_t{N->IntValue()} : 0;
    };
    for (int I = 0; I + 1 < Index->Count(); I += 2) Sections.emplace_back(Item(I), Item(I + 1));
  } else {
    Sections.emplace_back(0, Size->IntValue());
  }
  const TPDFNumeric* Prev = DirectNumber(Dict, "Prev");
  const int64_t PrevOffset = Prev ? Prev->IntValue() : 0;

  // Field widths and the stream data.
  int64_t W[3] = {0, 0, 0};
  bool HaveW = false;
  if (auto* WArray = As<TPDFArray>(Dict->GetValue("W", false)); WArray && WArray->Count() >= 3) {
    HaveW = true;
    for (int I = 0; I < 3; ++I)
      if (const auto* N = As<TPDFNumeric>(WArray->GetItem(I))) W[I] = std::max(0, N->IntValue());
  }
  size_t DataStart = Window.find("stream");
  const TPDFNumeric* Length = DirectNumber(Dict, "Length");
  // An entry that reads no bytes would let Index claim billions of them.
  if (HaveW && DataStart != std::string_view::npos && Length && W[0] + W[1] + W[2] > 0) {
    DataStart += 6;
    if (DataStart < Window.size() && Window[DataStart] == '\n')
      DataStart += 1;
    else if (DataStart < Window.size() && Window[DataStart] == '\r')
      DataStart += 2;
    std::string_view Raw = ReadAt(Pos + static_cast<int64_t>(DataStart), Length->IntValue());
    TPDFStream* Stream = S.NewStream(std::string(Raw));
    Stream->SetDictionary(Dict);
    const std::string Data = Stream->GetDecodedData();
    const auto* Bytes = reinterpret_cast<const unsigned char*>(Data.data());
    const size_t EntrySize = static_cast<size_t>(W[0] + W[1] + W[2]);
    size_t Cursor = 0;
    auto ReadField = [&](int64_t Width) {
      uint32_t V = 0;
      for (int64_t K = 0; K < Width; ++K) V = (V << 8) | Bytes[Cursor++];
      return V;
    };
    for (auto [First, Count] : Sections) {
      // Reading stops where the data end.
      for (int64_t Number = First; Number < First + Count && Data.size() - Cursor >= EntrySize; ++Number) {
        const uint32_t Type = W[0] ? ReadField(W[0]) : 1;
        const uint32_t F2 = ReadField(W[1]);
        const uint32_t F3 = ReadField(W[2]);
        char Kind;
        int32_t V1 = static_cast<int32_t>(F2), V2 = static_cast<int32_t>(F3);
        switch (Type) {
          case 0: Kind = 'f'; break;
          case 1: Kind = 'n'; break;
          case 2: Kind = 'c'; break;
          default:  // an unknown type: its fields are skipped, not reported
            Kind = ' ';
            V1 = V2 = 0;
        }
        if (OnEntry) OnEntry(static_cast<int32_t>(Number), V1, Kind, V2);
      }
    }
  }
  if (OnTrailer) OnTrailer(Dict->ToText());
  if (PrevOffset >= 1) Next = PrevOffset;
  return true;
}

// ================================================================ rebuild scan

namespace {

// A byte that belongs to a token (neither whitespace nor a delimiter).
constexpr bool IsRegular(unsigned char C) { return !IsPDFWhite(C) && !IsPDFDelimiter(C) && C != '}'; }

// The bytes at which a keyword or mark of the scan can start.
struct TScanStarts {
  bool Is[256] = {};
  constexpr TScanStarts() {
    for (unsigned char C : {'o', 'e', 's', 't', '/'}) Is[C] = true;
  }
};
constexpr TScanStarts ScanStarts;

// Object number and generation standing before the "obj" at Obj: whitespace,
// digits, whitespace, digits, and before them the start of the data or a byte
// that ends a token. Each run of digits is at most 10 long.
bool HeaderBeforeObj(std::string_view D, size_t Obj, TPDFObjectHeader& H) {
  auto White = [&](size_t I) { return IsPDFWhite(static_cast<unsigned char>(D[I])); };
  auto Digit = [&](size_t I) { return IsPDFDigit(static_cast<unsigned char>(D[I])); };
  size_t I = Obj;
  if (I == 0 || !White(I - 1)) return false;
  while (I > 0 && White(I - 1)) --I;
  const size_t GenEnd = I;
  while (I > 0 && Digit(I - 1) && GenEnd - I < 10) --I;
  const size_t GenStart = I;
  if (GenStart == GenEnd || I == 0 || !White(I - 1)) return false;
  while (I > 0 && White(I - 1)) --I;
  const size_t NumEnd = I;
  while (I > 0 && Digit(I - 1) && NumEnd - I < 10) --I;
  const size_t NumStart = I;
  if (NumStart == NumEnd || (I > 0 && IsRegular(static_cast<unsigned char>(D[I - 1])))) return false;
  const auto Number = ReadInt32(D.substr(NumStart, NumEnd - NumStart));
  const auto Generation = ReadInt32(D.substr(GenStart, GenEnd - GenStart));
  if (!Number || !Generation) return false;
  H = {*Number, *Generation, static_cast<int32_t>(NumStart)};
  return true;
}

}  // namespace

int64_t TPDFFileScan::HeaderBefore(int64_t Position) const {
  auto It = std::upper_bound(Headers.begin(), Headers.end(), Position,
                             [](int64_t P, const TPDFObjectHeader& H) { return P < H.Offset; });
  return It == Headers.begin() ? -1 : static_cast<int64_t>(It - Headers.begin()) - 1;
}

TPDFFileScan ScanFile(std::string_view D) {
  TPDFFileScan R;
  const size_t N = D.size();
  auto At = [&](size_t P, std::string_view Word) { return D.substr(P, Word.size()) == Word; };
  // A keyword ends at the end of the data or before a byte that ends a token.
  auto Ends = [&](size_t P) { return P >= N || !IsRegular(static_cast<unsigned char>(D[P])); };
  // The next "endstream" at or after the last place it was looked for from
  // (npos: there is none): the scan moves forward only, so every search
  // starts where the last one ended and the file is searched once.
  size_t NextEnd = 0;
  bool NextEndKnown = false;
  size_t P = 0;
  while (P < N) {
    while (P < N && !ScanStarts.Is[static_cast<unsigned char>(D[P])]) ++P;
    if (P >= N) break;
    switch (D[P]) {
      case 'o': {
        TPDFObjectHeader H;
        if (At(P, "obj") && Ends(P + 3) && HeaderBeforeObj(D, P, H)) R.Headers.push_back(H);
        ++P;
        break;
      }
      case 'e':
        if (At(P, "endstream")) {
          R.EndStreams.push_back(static_cast<int32_t>(P));
          P += 9;
        } else {
          ++P;
        }
        break;
      case 's': {
        // "stream" after a dictionary and before a line end, inside an object:
        // its data run to the next "endstream".
        const bool Keyword = At(P, "stream") && P > 0 &&
                             (IsPDFWhite(static_cast<unsigned char>(D[P - 1])) || D[P - 1] == '>');
        size_t Q = P + 6;
        while (Q < N && (D[Q] == ' ' || D[Q] == 7)) ++Q;
        if (Keyword && !R.Headers.empty() && Q < N && (D[Q] == '\r' || D[Q] == '\n')) {
          if (!NextEndKnown || (NextEnd != std::string_view::npos && NextEnd < Q)) {
            NextEnd = D.find("endstream", Q);
            NextEndKnown = true;
          }
          const size_t End = NextEnd;
          if (End != std::string_view::npos) {
            R.EndStreams.push_back(static_cast<int32_t>(End));
            P = End + 9;
            break;
          }
        }
        ++P;
        break;
      }
      case 't':
        if (At(P, "trailer") && (P == 0 || !IsRegular(static_cast<unsigned char>(D[P - 1]))) && Ends(P + 7)) {
          R.Trailers.push_back(static_cast<int32_t>(P));
          P += 7;
        } else {
          ++P;
        }
        break;
      default:  // '/'
        if (At(P + 1, "XRef") && Ends(P + 5))
          R.XRefMarks.push_back(static_cast<int32_t>(P));
        else if (At(P + 1, "ObjStm") && Ends(P + 7))
          R.ObjStmMarks.push_back(static_cast<int32_t>(P));
        ++P;
    }
  }
  return R;
}

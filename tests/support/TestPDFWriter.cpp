// Test-only writer that builds PDF files in memory for the unit tests.
#include "TestPDFWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {

std::string Deflate(std::string_view Data) {
  uLongf Size = compressBound(static_cast<uLong>(Data.size()));
  std::string Out(Size, '\0');
  int Result = compress2(reinterpret_cast<Bytef*>(Out.data()), &Size, reinterpret_cast<const Bytef*>(Data.data()),
                         static_cast<uLong>(Data.size()), Z_DEFAULT_COMPRESSION);
  if (Result != Z_OK) throw std::runtime_error("TestPDFWriter: zlib compress2 failed");
  Out.resize(Size);
  return Out;
}

std::string ObjectHeader(int Number, int Generation) {
  return std::to_string(Number) + " " + std::to_string(Generation) + " obj\n";
}

std::string PlainObject(int Number, int Generation, std::string_view Body) {
  std::string Text = ObjectHeader(Number, Generation);
  Text += Body;
  Text += "\nendobj\n";
  return Text;
}

// Dict with Keys added at its end: "<< a >>" -> "<< a Keys >>"; inner text or
// nothing is wrapped.
std::string WithKeys(std::string_view Dict, std::string_view Keys) {
  size_t First = Dict.find_first_not_of(" \t\r\n");
  size_t Last = Dict.find_last_not_of(" \t\r\n");
  std::string_view Trimmed =
      First == std::string_view::npos ? std::string_view() : Dict.substr(First, Last - First + 1);
  if (Trimmed.size() >= 4 && Trimmed.substr(0, 2) == "<<" && Trimmed.substr(Trimmed.size() - 2) == ">>") {
    std::string Out(Trimmed.substr(0, Trimmed.size() - 2));
    if (!Out.empty() && Out.back() != ' ') Out += ' ';
    Out += Keys;
    Out += " >>";
    return Out;
  }
  std::string Out = "<< ";
  if (!Trimmed.empty()) {
    Out += Trimmed;
    Out += ' ';
  }
  Out += Keys;
  Out += " >>";
  return Out;
}

std::string StreamObject(int Number, int Generation, std::string_view Dict, std::string_view Payload) {
  std::string Text = ObjectHeader(Number, Generation);
  Text += Dict;
  Text += "\nstream\n";
  Text += Payload;
  Text += "\nendstream\nendobj\n";
  return Text;
}

struct TEntry {
  int Type = 0;
  uint64_t F2 = 0;
  uint64_t F3 = 0;
};

int BytesFor(uint64_t Value) {
  int N = 1;
  while (N < 8 && (Value >> (8 * N)) != 0) ++N;
  return N;
}

uint64_t MaxFor(int Width) { return Width >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * Width)) - 1; }

void PutField(std::string& Out, uint64_t Value, int Width) {
  for (int I = Width - 1; I >= 0; --I) Out += static_cast<char>(I >= 8 ? 0 : (Value >> (8 * I)) & 0xFF);
}

// "[a n b m]" for the runs of consecutive numbers; empty for one run from 0.
std::vector<std::pair<int, int>> Runs(const std::map<int, TEntry>& Entries) {
  std::vector<std::pair<int, int>> Out;
  for (const auto& [Number, Entry] : Entries) {
    if (!Out.empty() && Out.back().first + Out.back().second == Number)
      ++Out.back().second;
    else
      Out.push_back({Number, 1});
  }
  return Out;
}

std::string Offset10(uint64_t Value) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "%010llu", static_cast<unsigned long long>(Value));
  return Buffer;
}

std::string Generation5(uint64_t Value) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "%05llu", static_cast<unsigned long long>(Value));
  return Buffer;
}

std::string TrailerKeys(const TSection& S, long long Size, long long Prev) {
  std::string Out = "/Size " + std::to_string(Size);
  if (!S.Root.empty()) Out += " /Root " + S.Root;
  if (!S.Info.empty()) Out += " /Info " + S.Info;
  if (!S.ID.empty()) Out += " /ID " + S.ID;
  if (!S.Encrypt.empty()) Out += " /Encrypt " + S.Encrypt;
  if (Prev >= 0) Out += " /Prev " + std::to_string(Prev);
  if (!S.Extra.empty()) Out += " " + S.Extra;
  return Out;
}

// Complete xref stream object listing Entries.
std::string XRefStreamText(int Number, const TSection& S, const std::map<int, TEntry>& Entries, long long Size,
                           long long Prev, bool WithTrailer) {
  std::array<int, 3> W = S.Widths;
  if (W[0] <= 0) W[0] = 1;
  uint64_t Max2 = 0;
  uint64_t Max3 = 0;
  for (const auto& [Num, Entry] : Entries) {
    Max2 = std::max(Max2, Entry.F2);
    if (!(Num == 0 && Entry.Type == 0 && Entry.F3 == 65535)) Max3 = std::max(Max3, Entry.F3);
  }
  if (W[1] <= 0) W[1] = BytesFor(Max2);
  if (W[2] <= 0) W[2] = BytesFor(Max3);

  std::string Rows;
  for (const auto& [Num, Entry] : Entries) {
    uint64_t F3 = Entry.F3;
    if (Num == 0 && Entry.Type == 0 && F3 == 65535) F3 = std::min<uint64_t>(F3, MaxFor(W[2]));
    PutField(Rows, static_cast<uint64_t>(Entry.Type), W[0]);
    PutField(Rows, Entry.F2, W[1]);
    PutField(Rows, F3, W[2]);
  }
  const size_t Columns = static_cast<size_t>(W[0] + W[1] + W[2]);
  if (S.Predictor) {
    std::string Encoded;
    std::string Previous(Columns, '\0');
    for (size_t Row = 0; Row * Columns < Rows.size(); ++Row) {
      Encoded += '\x02';
      for (size_t I = 0; I < Columns; ++I) {
        unsigned char Cur = static_cast<unsigned char>(Rows[Row * Columns + I]);
        unsigned char Up = static_cast<unsigned char>(Previous[I]);
        Encoded += static_cast<char>(static_cast<unsigned char>(Cur - Up));
        Previous[I] = static_cast<char>(Cur);
      }
    }
    Rows = std::move(Encoded);
  }
  std::string Payload = Deflate(Rows);

  std::string Dict = "<< /Type /XRef";
  if (WithTrailer) {
    Dict += " " + TrailerKeys(S, Size, Prev);
  } else {
    Dict += " /Size " + std::to_string(Size);
  }
  Dict += " /W [" + std::to_string(W[0]) + " " + std::to_string(W[1]) + " " + std::to_string(W[2]) + "]";
  std::vector<std::pair<int, int>> R = Runs(Entries);
  if (!(R.size() == 1 && R[0].first == 0)) {
    Dict += " /Index [";
    for (size_t I = 0; I < R.size(); ++I)
      Dict += (I ? " " : "") + std::to_string(R[I].first) + " " + std::to_string(R[I].second);
    Dict += "]";
  }
  Dict += " /Filter /FlateDecode";
  if (S.Predictor) Dict += " /DecodeParms << /Predictor 12 /Columns " + std::to_string(Columns) + " >>";
  Dict += " /Length " + std::to_string(Payload.size()) + " >>";
  return StreamObject(Number, 0, Dict, Payload);
}

std::string TableText(const TSection& S, const std::map<int, TEntry>& Entries) {
  const char* End = S.EntryEnd == TEntryEnd::CRLF ? "\r\n" : S.EntryEnd == TEntryEnd::SpaceLF ? " \n" : "\n";
  std::string Out = "xref\n";
  auto It = Entries.begin();
  for (const auto& [First, Count] : Runs(Entries)) {
    Out += std::to_string(First) + " " + std::to_string(Count) + "\n";
    for (int I = 0; I < Count; ++I, ++It) {
      const TEntry& E = It->second;
      Out += Offset10(E.F2) + " " + Generation5(E.F3) + (E.Type == 0 ? " f" : " n") + End;
    }
  }
  return Out;
}

}  // namespace

void TTestPDFWriter::SetHeader(std::string Header) { Header_ = std::move(Header); }

void TTestPDFWriter::SetLeadingJunk(std::string Junk, bool OffsetsFromHeader) {
  Junk_ = std::move(Junk);
  OffsetsFromHeader_ = OffsetsFromHeader;
}

void TTestPDFWriter::SetJunkAfterHeader(std::string Junk) { JunkAfterHeader_ = std::move(Junk); }

void TTestPDFWriter::Add(int Number, int Generation, std::string_view Body) {
  Sections_.back().Items.push_back({TItem::TKind::Object, Number, Generation, PlainObject(Number, Generation, Body)});
}

void TTestPDFWriter::AddStream(int Number, std::string_view Dict, std::string_view Data, bool Compress,
                               const TStreamOptions& Options) {
  std::string Payload = Compress ? Deflate(Data) : std::string(Data);
  long long Length = Options.Length >= 0 ? Options.Length : static_cast<long long>(Payload.size());
  std::string Keys;
  if (Compress) Keys += "/Filter /FlateDecode ";
  Keys += Options.LengthObject > 0 ? "/Length " + std::to_string(Options.LengthObject) + " 0 R"
                                   : "/Length " + std::to_string(Length);
  TSectionData& S = Sections_.back();
  S.Items.push_back({TItem::TKind::Object, Number, Options.Generation,
                     StreamObject(Number, Options.Generation, WithKeys(Dict, Keys), Payload)});
  if (Options.LengthObject > 0)
    S.Items.push_back(
        {TItem::TKind::Object, Options.LengthObject, 0, PlainObject(Options.LengthObject, 0, std::to_string(Length))});
}

void TTestPDFWriter::AddToObjStm(int StreamNumber, int Number, std::string_view Body) {
  TSectionData& S = Sections_.back();
  auto [It, New] = S.ObjStms.try_emplace(StreamNumber);
  if (New) S.Items.push_back({TItem::TKind::ObjStm, StreamNumber, 0, {}});
  It->second.push_back({Number, std::string(Body)});
}

void TTestPDFWriter::AddRaw(std::string_view Bytes) {
  Sections_.back().Items.push_back({TItem::TKind::Raw, 0, 0, std::string(Bytes)});
}

void TTestPDFWriter::Free(int Number, int NextGeneration) { Sections_.back().Freed[Number] = NextGeneration; }

int TTestPDFWriter::StartUpdate() {
  const TSection& Previous = Sections_.back().Options;
  TSectionData Next;
  Next.Options.Root = Previous.Root;
  Next.Options.Info = Previous.Info;
  Next.Options.ID = Previous.ID;
  Next.Options.Encrypt = Previous.Encrypt;
  Sections_.push_back(std::move(Next));
  return static_cast<int>(Sections_.size()) - 1;
}

TSection& TTestPDFWriter::Section() { return Sections_.back().Options; }

TSection& TTestPDFWriter::Section(int Index) { return Sections_.at(static_cast<size_t>(Index)).Options; }

int TTestPDFWriter::SectionCount() const { return static_cast<int>(Sections_.size()); }

std::string TTestPDFWriter::Finish() {
  std::string Out = Junk_ + Header_ + JunkAfterHeader_;
  const size_t Base = (OffsetsFromHeader_ ? Junk_.size() : 0) + JunkAfterHeader_.size();
  auto Written = [&](size_t Position) { return static_cast<uint64_t>(Position - Base); };
  auto Shifted = [](uint64_t Value, long long Shift) {
    return static_cast<uint64_t>(std::max(0LL, static_cast<long long>(Value) + Shift));
  };
  int Highest = 0;
  long long Prev = -1;

  for (size_t Index = 0; Index < Sections_.size(); ++Index) {
    TSectionData& S = Sections_[Index];
    const TSection& O = S.Options;
    S.Offsets.clear();
    std::map<int, TEntry> Entries;
    auto PlaceObject = [&](int Number, int Generation, const std::string& Text) {
      S.Offsets[Number] = Out.size();
      auto Shift = O.EntryShift.find(Number);
      Entries[Number] = {1, Shifted(Written(Out.size()), Shift == O.EntryShift.end() ? 0 : Shift->second),
                         static_cast<uint64_t>(Generation)};
      Highest = std::max(Highest, Number);
      Out += Text;
    };

    for (const TItem& Item : S.Items) {
      switch (Item.Kind) {
        case TItem::TKind::Raw:
          Out += Item.Text;
          break;
        case TItem::TKind::Object:
          PlaceObject(Item.Number, Item.Generation, Item.Text);
          break;
        case TItem::TKind::ObjStm: {
          const auto& Members = S.ObjStms.at(Item.Number);
          std::string Pairs;
          std::string Bodies;
          for (size_t I = 0; I < Members.size(); ++I) {
            Pairs += std::to_string(Members[I].first) + " " + std::to_string(Bodies.size()) + " ";
            Bodies += Members[I].second;
            Bodies += '\n';
            Entries[Members[I].first] = {2, static_cast<uint64_t>(Item.Number), static_cast<uint64_t>(I)};
            Highest = std::max(Highest, Members[I].first);
          }
          Pairs.back() = '\n';
          std::string Payload = Deflate(Pairs + Bodies);
          std::string Dict = "<< /Type /ObjStm /N " + std::to_string(Members.size()) + " /First " +
                             std::to_string(Pairs.size()) + " /Filter /FlateDecode /Length " +
                             std::to_string(Payload.size()) + " >>";
          PlaceObject(Item.Number, 0, StreamObject(Item.Number, 0, Dict, Payload));
          break;
        }
      }
    }

    // Free entries, linked in ascending order; object 0 heads the list in section 0.
    for (auto It = S.Freed.begin(); It != S.Freed.end(); ++It) {
      auto Next = std::next(It);
      Entries[It->first] = {0, Next == S.Freed.end() ? 0u : static_cast<uint64_t>(Next->first),
                            static_cast<uint64_t>(It->second)};
      Highest = std::max(Highest, It->first);
    }
    if (Index == 0) Entries[0] = {0, S.Freed.empty() ? 0u : static_cast<uint64_t>(S.Freed.begin()->first), 65535};

    int StreamNumber = 0;
    if (O.Form != TXRefForm::Table) {
      StreamNumber = O.XRefStreamNumber > 0 ? O.XRefStreamNumber : Highest + 1;
      Highest = std::max(Highest, StreamNumber);
    }
    const long long Size = O.Size >= 0 ? O.Size : Highest + 1;
    auto StreamEntry = [&]() {
      auto Shift = O.EntryShift.find(StreamNumber);
      return TEntry{1, Shifted(Written(Out.size()), Shift == O.EntryShift.end() ? 0 : Shift->second), 0};
    };

    std::string Trailer;
    if (O.Form == TXRefForm::Stream) {
      S.XRef = S.XRefStream = Out.size();
      S.Offsets[StreamNumber] = Out.size();
      Entries[StreamNumber] = StreamEntry();
      Out += XRefStreamText(StreamNumber, O, Entries, Size, Prev, true);
    } else {
      std::map<int, TEntry> Listed;
      std::map<int, TEntry> Compressed;
      for (const auto& [Number, Entry] : Entries) (Entry.Type == 2 ? Compressed : Listed)[Number] = Entry;
      long long XRefStm = -1;
      if (O.Form == TXRefForm::Hybrid) {
        S.XRefStream = Out.size();
        S.Offsets[StreamNumber] = Out.size();
        XRefStm = static_cast<long long>(Written(Out.size()));
        Listed[StreamNumber] = StreamEntry();
        if (Compressed.empty()) Compressed[StreamNumber] = Listed[StreamNumber];
        Out += XRefStreamText(StreamNumber, O, Compressed, Size, -1, false);
      } else {
        S.XRefStream = std::string::npos;
      }
      S.XRef = Out.size();
      Out += TableText(O, Listed);
      std::string Keys = TrailerKeys(O, Size, Prev);
      if (XRefStm >= 0) Keys += " /XRefStm " + std::to_string(XRefStm);
      if (!O.OmitTrailer) Out += "trailer\n<< " + Keys + " >>\n";
    }
    Prev = static_cast<long long>(Written(S.XRef));
    Out += "startxref\n" + std::to_string(Prev + O.StartXRefShift) + "\n";
    if (!O.OmitEOF) Out += "%%EOF\n";
    Out += O.Tail;
    S.End = Out.size();
  }
  return Out;
}

const TTestPDFWriter::TSectionData& TTestPDFWriter::Laid(int Index) const {
  const TSectionData& S = Sections_.at(static_cast<size_t>(Index));
  if (S.End == std::string::npos) throw std::out_of_range("TestPDFWriter: section not laid out by Finish()");
  return S;
}

size_t TTestPDFWriter::ObjectOffset(int Number) const {
  for (int Index = SectionCount() - 1; Index >= 0; --Index) {
    const auto& Offsets = Laid(Index).Offsets;
    auto It = Offsets.find(Number);
    if (It != Offsets.end()) return It->second;
  }
  throw std::out_of_range("TestPDFWriter: object " + std::to_string(Number) + " has no file offset");
}

const std::map<int, size_t>& TTestPDFWriter::ObjectOffsets(int Index) const { return Laid(Index).Offsets; }

size_t TTestPDFWriter::XRefOffset(int Index) const { return Laid(Index).XRef; }

size_t TTestPDFWriter::XRefStreamOffset(int Index) const {
  size_t At = Laid(Index).XRefStream;
  if (At == std::string::npos) throw std::out_of_range("TestPDFWriter: section has no xref stream");
  return At;
}

size_t TTestPDFWriter::SectionEnd(int Index) const { return Laid(Index).End; }

// ---------------------------------------------------------------------------

TTestPDFWriter MakeSimpleDocument(const TSimpleDocOptions& Options, TSimpleDocObjects* Objects) {
  struct TNode {
    std::vector<int> Kids;  // >= 0: node index; < 0: page -(i+1)
    int Parent = -1;
    int Count = 0;
    int Number = 0;
  };
  const int PageCount = static_cast<int>(Options.Pages.size());
  TSimpleDocObjects Nums;

  // Tree: node 0 is the root; further nodes are intermediate.
  std::vector<TNode> Nodes(1);
  std::vector<int> PageParent(static_cast<size_t>(PageCount), 0);
  std::vector<int> Level;  // page leaves as -(i+1), nodes as index
  for (int I = 0; I < PageCount; ++I) Level.push_back(-(I + 1));
  if (Options.FanOut >= 2) {
    while (static_cast<int>(Level.size()) > Options.FanOut) {
      std::vector<int> Upper;
      for (size_t First = 0; First < Level.size(); First += static_cast<size_t>(Options.FanOut)) {
        int NodeIndex = static_cast<int>(Nodes.size());
        Nodes.push_back({});
        size_t Last = std::min(Level.size(), First + static_cast<size_t>(Options.FanOut));
        for (size_t K = First; K < Last; ++K) Nodes.back().Kids.push_back(Level[K]);
        Upper.push_back(NodeIndex);
      }
      Level = std::move(Upper);
    }
  }
  Nodes[0].Kids = Level;
  // Parents and counts (children have higher indices than parents except the root's).
  for (size_t N = 0; N < Nodes.size(); ++N)
    for (int Kid : Nodes[N].Kids) {
      if (Kid < 0)
        PageParent[static_cast<size_t>(-Kid - 1)] = static_cast<int>(N);
      else
        Nodes[static_cast<size_t>(Kid)].Parent = static_cast<int>(N);
    }
  std::vector<size_t> Order;  // top-down
  std::vector<size_t> Queue{0};
  for (size_t Q = 0; Q < Queue.size(); ++Q) {
    Order.push_back(Queue[Q]);
    for (int Kid : Nodes[Queue[Q]].Kids)
      if (Kid >= 0) Queue.push_back(static_cast<size_t>(Kid));
  }
  for (auto It = Order.rbegin(); It != Order.rend(); ++It) {
    TNode& Node = Nodes[*It];
    Node.Count = 0;
    for (int Kid : Node.Kids) Node.Count += Kid < 0 ? 1 : Nodes[static_cast<size_t>(Kid)].Count;
  }

  // Numbers.
  int Next = 4;
  Nodes[0].Number = Nums.RootPages;
  for (size_t K = 1; K < Order.size(); ++K) {
    Nodes[Order[K]].Number = Next++;
    Nums.Nodes.push_back(Nodes[Order[K]].Number);
  }
  for (int I = 0; I < PageCount; ++I) {
    Nums.PageObjects.push_back(Next++);
    Nums.Contents.emplace_back();
    for (size_t C = 0; C < Options.Pages[static_cast<size_t>(I)].size(); ++C) Nums.Contents.back().push_back(Next++);
  }

  auto Ref = [](int Number) { return std::to_string(Number) + " 0 R"; };
  auto KidRef = [&](int Kid) {
    return Ref(Kid < 0 ? Nums.PageObjects[static_cast<size_t>(-Kid - 1)] : Nodes[static_cast<size_t>(Kid)].Number);
  };
  const std::string MediaBox = "/MediaBox [0 0 612 792]";

  TTestPDFWriter W;
  const bool NewerFormat = Options.Form != TXRefForm::Table || Options.ObjectStreams;
  if (NewerFormat) W.SetHeader("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  W.Section().Form = Options.Form;
  W.Section().Root = Ref(Nums.Catalog);

  // Dictionaries that may go into object streams, in file order.
  std::vector<std::pair<int, std::string>> Dicts;
  for (size_t N : Order) {
    const TNode& Node = Nodes[N];
    std::string Body = "<< /Type /Pages";
    if (Node.Parent >= 0) Body += " /Parent " + Ref(Nodes[static_cast<size_t>(Node.Parent)].Number);
    Body += " /Kids [";
    for (size_t K = 0; K < Node.Kids.size(); ++K) Body += (K ? " " : "") + KidRef(Node.Kids[K]);
    Body += "] /Count " + std::to_string(Node.Count);
    if (N == 0 && Options.MediaBoxOnRoot) Body += " " + MediaBox;
    Body += " >>";
    Dicts.push_back({Node.Number, Body});
    if (N == 0)
      Dicts.push_back({Nums.Font, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"});
  }
  for (int I = 0; I < PageCount; ++I) {
    const auto& Contents = Nums.Contents[static_cast<size_t>(I)];
    std::string Body =
        "<< /Type /Page /Parent " + Ref(Nodes[static_cast<size_t>(PageParent[static_cast<size_t>(I)])].Number);
    if (!Options.MediaBoxOnRoot) Body += " " + MediaBox;
    Body += " /Resources << /Font << /F1 " + Ref(Nums.Font) + " >> >>";
    if (Contents.size() == 1 && !Options.ContentsArray) {
      Body += " /Contents " + Ref(Contents[0]);
    } else if (!Contents.empty()) {
      Body += " /Contents [";
      for (size_t C = 0; C < Contents.size(); ++C) Body += (C ? " " : "") + Ref(Contents[C]);
      Body += "]";
    }
    Body += " >>";
    Dicts.push_back({Nums.PageObjects[static_cast<size_t>(I)], Body});
  }

  W.Add(Nums.Catalog, 0, "<< /Type /Catalog /Pages " + Ref(Nums.RootPages) + " >>");
  if (!Options.ObjectStreams) {
    // Nodes and font first, then each page with its contents.
    size_t D = 0;
    for (; D < Order.size() + 1; ++D) W.Add(Dicts[D].first, 0, Dicts[D].second);
    for (int I = 0; I < PageCount; ++I, ++D) {
      W.Add(Dicts[D].first, 0, Dicts[D].second);
      const auto& Texts = Options.Pages[static_cast<size_t>(I)];
      for (size_t C = 0; C < Texts.size(); ++C)
        W.AddStream(Nums.Contents[static_cast<size_t>(I)][C], "<< >>", Texts[C], Options.CompressContents);
    }
  } else {
    for (int I = 0; I < PageCount; ++I) {
      const auto& Texts = Options.Pages[static_cast<size_t>(I)];
      for (size_t C = 0; C < Texts.size(); ++C)
        W.AddStream(Nums.Contents[static_cast<size_t>(I)][C], "<< >>", Texts[C], Options.CompressContents);
    }
    const size_t PerStream =
        Options.ObjectsPerStream > 0 ? static_cast<size_t>(Options.ObjectsPerStream) : Dicts.size();
    for (size_t D = 0; D < Dicts.size(); ++D) {
      if (D % PerStream == 0) Nums.ObjStms.push_back(Next++);
      W.AddToObjStm(Nums.ObjStms.back(), Dicts[D].first, Dicts[D].second);
    }
  }
  Nums.Highest = Next - 1;
  if (Objects) *Objects = Nums;
  return W;
}

std::string WriteNumberedPages(const std::string& Dir, const std::string& Name, int Pages) {
  TSimpleDocOptions O;
  for (int P = 1; P <= Pages; ++P) O.Pages.push_back({"BT /F1 12 Tf 72 720 Td (Page " + std::to_string(P) + ") Tj ET"});
  const std::string Path = Dir + "/" + Name;
  std::ofstream(Path, std::ios::binary) << MakeSimpleDocument(O).Finish();
  return Path;
}

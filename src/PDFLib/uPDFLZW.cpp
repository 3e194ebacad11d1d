// LZW expansion for the /LZWDecode stream filter and the image readers.
#include "uPDFLZW.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int MaxCodeWidth = 12;
constexpr uint32_t TableSize = 4096;
constexpr uint32_t LastCode = TableSize - 1;
// Fewest stored nodes at which the node store is swept (see TLZWRun::Sweep).
constexpr size_t MinSweepNodes = 4096;
// Spare bytes kept past the output room, so that short strings are copied with
// two fixed 8-byte moves.
constexpr size_t OutputSlack = 16;

// The byte string a table entry stands for, held without copying its bytes:
//  - Length 0: the empty string; Length 1: the byte First;
//  - otherwise, when not IsNode: the output bytes [Ref, Ref + Length), which
//    never change once written;
//  - IsNode: node Ref of the node store, that is another string plus one byte.
// Entries are values: replacing one table slot never changes another slot's
// string, however they were made.
struct TLZWString {
  uint64_t Ref = 0;
  uint64_t Length = 0;
  uint8_t First = 0;
  bool IsNode = false;
};

// A string that is not in the output in one piece: Base followed by Last.
// Bases are always older nodes, so a node's index exceeds its base's.
struct TLZWNode {
  TLZWString Base;
  uint8_t Last = 0;
};

class TLZWRun {
 public:
  TLZWRun(std::string_view Data, size_t MaxOutput, bool EarlyChange, int InitialWidth)
      : In(reinterpret_cast<const uint8_t*>(Data.data())),
        InLength(Data.size()),
        MaxOut(std::min(MaxOutput, SIZE_MAX / 2)),  // more cannot be allocated anyway
        Early(EarlyChange),
        Width0(InitialWidth),
        ClearCode(1u << (InitialWidth - 1)),
        EodCode(ClearCode + 1) {}

  template <bool Msb>
  std::string Run();

 private:
  const uint8_t* In;
  size_t InLength;
  size_t MaxOut;
  bool Early;
  int Width0;
  uint32_t ClearCode;
  uint32_t EodCode;

  // Reader: 0-based byte position and bit offset (0..7) of the next code.
  size_t Pos = 0;
  unsigned Bit = 0;
  int Width = 0;
  uint32_t Mask = 0;

  uint32_t NextCode = 0;    // next free table slot, at most LastCode
  uint32_t ChangeCode = 0;  // NextCode at which the width grows

  std::string Out;  // the room plus OutputSlack; the first Used bytes are decoded
  size_t Used = 0;

  TLZWString Table[TableSize];
  std::vector<TLZWNode> Nodes;
  size_t SweepAt = MinSweepNodes;

  uint8_t ByteAt(size_t I) const { return I < InLength ? In[I] : 0; }

  // The next code; the end-of-data code once the read position has passed the
  // data. Bytes past the data read as zero (the decoder conceptually appends
  // three zero bytes): MSB first, a code may start in the first of them; LSB
  // first, in the first two.
  template <bool Msb>
  uint32_t ReadCode() {
    uint32_t Code;
    if constexpr (Msb) {
      if (Pos > InLength) return EodCode;
      uint32_t Window;
      if (Pos + 2 < InLength)
        Window = uint32_t(In[Pos]) << 16 | uint32_t(In[Pos + 1]) << 8 | In[Pos + 2];
      else
        Window = uint32_t(ByteAt(Pos)) << 16 | uint32_t(ByteAt(Pos + 1)) << 8 | ByteAt(Pos + 2);
      Code = (Window >> (24 - Bit - Width)) & Mask;
    } else {
      if (Pos > InLength + 1) return EodCode;
      uint32_t Window;
      if (Pos + 2 < InLength)
        Window = In[Pos] | uint32_t(In[Pos + 1]) << 8 | uint32_t(In[Pos + 2]) << 16;
      else
        Window = ByteAt(Pos) | uint32_t(ByteAt(Pos + 1)) << 8 | uint32_t(ByteAt(Pos + 2)) << 16;
      Code = (Window >> Bit) & Mask;
    }
    Bit += Width;
    Pos += Bit >> 3;
    Bit &= 7;
    return Code;
  }

  void SetWidth(int W) {
    Width = W;
    Mask = (1u << W) - 1;
    ChangeCode = Early ? Mask - 1 : Mask;
  }

  // After each new entry: grow the width when the entry just made is the
  // change code's, then move to the next slot unless the table is full.
  void WidthStep() {
    if (NextCode == ChangeCode && Width < MaxCodeWidth) SetWidth(Width + 1);
    if (NextCode < LastCode) ++NextCode;
  }

  // Makes room for N more output bytes plus OutputSlack. The room at least
  // doubles each time, so the total copying stays linear.
  void Reserve(size_t N) {
    if (Out.size() - Used < N + OutputSlack) Grow(N);
  }

  void Grow(size_t N) {
    size_t Room = Out.size() - OutputSlack;
    size_t Want = std::max(Used + N, Room < MaxOut / 2 ? Room * 2 : MaxOut);
    Out.resize(std::min(Want, MaxOut) + OutputSlack);
  }

  // Appends S, cut at the output limit; false when the limit cut it.
  bool Put(const TLZWString& S) {
    if (!S.IsNode && S.Length <= OutputSlack && S.Length <= MaxOut - Used) {
      Reserve(S.Length);
      char* Base = Out.data();
      if (S.Length == 1) {
        Base[Used] = char(S.First);
      } else if (S.Length > 1) {
        // Both halves are loaded before either is stored, so the copy is right
        // even when the source ends where the destination starts; bytes past
        // the string land in the slack and are overwritten later.
        uint64_t A, B;
        std::memcpy(&A, Base + S.Ref, 8);
        std::memcpy(&B, Base + S.Ref + 8, 8);
        std::memcpy(Base + Used, &A, 8);
        std::memcpy(Base + Used + 8, &B, 8);
      }
      Used += size_t(S.Length);
      return true;
    }
    return PutLong(S);
  }

  bool PutLong(const TLZWString& S) {
    size_t Room = MaxOut - Used;
    size_t Take = S.Length < Room ? size_t(S.Length) : Room;
    if (Take == 0) return S.Length == 0;
    Reserve(Take);
    char* Dst = Out.data() + Used;
    const TLZWString* Cur = &S;
    // Node strings are written from their last byte backwards.
    while (Cur->IsNode) {
      const TLZWNode& Node = Nodes[Cur->Ref];
      if (Cur->Length - 1 < Take) Dst[Cur->Length - 1] = char(Node.Last);
      Cur = &Node.Base;
    }
    size_t Head = std::min(size_t(Cur->Length), Take);
    if (Head == 1)
      Dst[0] = char(Cur->First);
    else if (Head > 1)
      std::memcpy(Dst, Out.data() + Cur->Ref, Head);  // earlier output: no overlap
    Used += Take;
    return Take == S.Length;
  }

  bool PutByte(uint8_t B) {
    if (Used == MaxOut) return false;
    Reserve(1);
    Out[Used++] = char(B);
    return true;
  }

  // Prefix followed by B. PrefixAt is where Prefix's bytes stand in the output
  // when B follows them there; SIZE_MAX when they do not.
  TLZWString Extend(const TLZWString& Prefix, size_t PrefixAt, uint8_t B) {
    TLZWString S;
    S.Length = Prefix.Length + 1;
    if (Prefix.Length == 0) {
      S.First = B;
    } else if (PrefixAt != SIZE_MAX) {
      S.Ref = PrefixAt;
      S.First = Prefix.First;
    } else {
      S.Ref = Nodes.size();
      S.First = Prefix.First;
      S.IsNode = true;
      Nodes.push_back(TLZWNode{Prefix, B});
    }
    return S;
  }

  // Nodes are made only when a code beyond the table is followed by another
  // code, and most of them are soon unreachable as their slots are reused.
  // Dropping those whenever the store has doubled since the last sweep keeps
  // its size in proportion to the live strings, which crafted data could
  // otherwise grow by one node for every two codes.
  void Sweep() {
    std::vector<uint8_t> Live(Nodes.size(), 0);
    for (const TLZWString& S : Table) {
      const TLZWString* Cur = &S;
      while (Cur->IsNode && !Live[Cur->Ref]) {
        Live[Cur->Ref] = 1;
        Cur = &Nodes[Cur->Ref].Base;
      }
    }
    std::vector<uint64_t> NewIndex(Nodes.size(), 0);
    size_t Kept = 0;
    for (size_t I = 0; I < Nodes.size(); ++I) {
      if (!Live[I]) continue;
      NewIndex[I] = Kept;
      TLZWNode Node = Nodes[I];
      if (Node.Base.IsNode) Node.Base.Ref = NewIndex[Node.Base.Ref];  // base is older
      Nodes[Kept++] = Node;
    }
    Nodes.resize(Kept);
    for (TLZWString& S : Table)
      if (S.IsNode) S.Ref = NewIndex[S.Ref];
    SweepAt = std::max(MinSweepNodes, 2 * Kept);
  }
};

template <bool Msb>
std::string TLZWRun::Run() {
  SetWidth(Width0);
  NextCode = ClearCode + 2;
  for (uint32_t I = 0; I <= EodCode; ++I) {
    Table[I].Length = 1;
    Table[I].First = uint8_t(I & 0xFF);
  }
  if (MaxOut == 0) return {};
  Out.resize(std::min(MaxOut, std::max<size_t>(4096, InLength / 2 * 7)) + OutputSlack);

  uint32_t Code = ReadCode<Msb>();
  if (Code == ClearCode) Code = ReadCode<Msb>();
  if (Code == EodCode) return {};
  // Prev's string stands at PrevAt in the output, just before what comes next,
  // unless PrevAt is SIZE_MAX (Prev was a code beyond the table).
  uint32_t Prev = Code;
  size_t PrevAt = Used;
  bool Going = Put(Table[Code]);

  while (Going) {
    if (Nodes.size() >= SweepAt) Sweep();
    Code = ReadCode<Msb>();
    if (Code == EodCode) break;
    if (Code == ClearCode) {
      // The slot after a clear is the end-of-data code's; the entry made with
      // the next code lands there and the one after it at ClearCode + 2.
      SetWidth(Width0);
      NextCode = ClearCode + 1;
      continue;
    }
    size_t At = Used;
    if (Code < NextCode) {
      const TLZWString S = Table[Code];
      Going = Put(S);
      if (S.Length != 0) Table[NextCode] = Extend(Table[Prev], PrevAt, S.First);
      PrevAt = At;
    } else {
      // Not yet defined (or beyond the table): Prev's string and its first byte.
      const TLZWString P = Table[Prev];
      TLZWString S;
      if (P.Length != 0) {
        Going = Put(P) && PutByte(P.First);
        S.Length = P.Length + 1;
        S.Ref = At;
        S.First = P.First;
      }
      PrevAt = Code == NextCode ? At : SIZE_MAX;
      Table[NextCode] = S;
    }
    WidthStep();
    Prev = Code;
  }
  Out.resize(Used);
  if (Out.capacity() - Used > Used / 2) Out.shrink_to_fit();
  return std::move(Out);
}

}  // namespace

std::string TPDFLZWDecompressor::Decode(std::string_view Data, size_t MaxOutput) const {
  if (InitialWidth < 2 || InitialWidth > MaxCodeWidth) return {};
  try {
    // The table is 4096 entries of 24 bytes: keep it off the stack.
    auto Run = std::make_unique<TLZWRun>(Data, MaxOutput, EarlyChange, InitialWidth);
    return MsbFirst ? Run->Run<true>() : Run->Run<false>();
  } catch (const std::bad_alloc&) {
    throw;  // out of memory is no property of the data: the caller is told
  } catch (...) {
    return {};
  }
}

// PDF objects, the structure that owns them, and the object parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class TPDFStructure;
class TPDFName;
class TPDFDictionary;
class TPDFNull;
class TPDFBoolean;
class TPDFNumeric;
class TPDFString;
class TPDFArray;
class TPDFStream;
class TPDFIndRef;

// Dictionary key names used across the engine.
namespace PDFKey {
inline constexpr std::string_view Length = "Length";
inline constexpr std::string_view Filter = "Filter";
inline constexpr std::string_view Type = "Type";
inline constexpr std::string_view Names = "Names";
inline constexpr std::string_view FlateDecode = "FlateDecode";
inline constexpr std::string_view DecodeParms = "DecodeParms";
inline constexpr std::string_view DP = "DP";
inline constexpr std::string_view Predictor = "Predictor";
inline constexpr std::string_view Colors = "Colors";
inline constexpr std::string_view BitsPerComponent = "BitsPerComponent";
inline constexpr std::string_view Columns = "Columns";
inline constexpr std::string_view EarlyChange = "EarlyChange";
}  // namespace PDFKey

// Default cap on the decoded size of one stream: data beyond it is dropped as
// if the stream had been cut there, so that a small stream cannot claim all
// memory.
inline constexpr size_t DefaultMaxDecodedSize = size_t{256} << 20;

// The nine kinds of PDF object; tests of "the class of" an object use it.
enum class TPDFClass : uint8_t { Name, Dictionary, Null, Boolean, Numeric, String, Array, Stream, IndRef };

// Nesting deeper than this ends the parse of the enclosing object as if the
// text were cut short there, and deeper parts are not written by ToText: input
// must never be able to exhaust the stack.
inline constexpr int MaxObjectDepth = 256;

// ================================================================ TPDFObject
// Base of the nine kinds. Every object is created by, registered with and owned
// by one TPDFStructure; nobody else deletes it. Containers hold plain pointers.
// Objects are used from the thread that uses their structure.
class TPDFObject {
 public:
  TPDFObject(const TPDFObject&) = delete;
  TPDFObject& operator=(const TPDFObject&) = delete;
  virtual ~TPDFObject() = default;

  TPDFStructure* Structure() const { return FStructure; }
  TPDFClass Class() const { return FClass; }

  // Indirect object identity, set by the owning document.
  int32_t IndirectNumber = 0;
  int32_t IndirectGeneration = 0;
  bool Indirect = false;
  // 'D', 'N', 'A', 'S', 'I'; 0 for null, boolean, number and string.
  char KindCode = 0;
  uint8_t CipherState = 0;

  // PDF syntax of the object.
  std::string ToText() const;
  // Appends the PDF syntax to Out; Depth guards against cyclic or absurdly
  // deep containers made by code.
  virtual void AppendText(std::string& Out, int Depth = 0) const = 0;

  // Asks the structure to free this object and whatever of its children no
  // other object still holds.
  void Release();
  // Adds Delta to the Number of every reference at or below this object.
  virtual void ShiftNumbers(int Delta, int Depth = 0);
  // Whether Obj is a direct child.
  virtual bool Contains(const TPDFObject* Obj) const;

  void SetIndirect(int32_t Number, int32_t Generation);

  // Checked downcasts: nullptr when Obj is absent or of another kind.
  template <class T>
  static T* Cast(TPDFObject* Obj) {
    return Obj && Obj->FClass == T::StaticClass ? static_cast<T*>(Obj) : nullptr;
  }
  template <class T>
  static const T* Cast(const TPDFObject* Obj) {
    return Obj && Obj->FClass == T::StaticClass ? static_cast<const T*>(Obj) : nullptr;
  }

 protected:
  TPDFObject(TPDFStructure* S, TPDFClass C, char Kind) : KindCode(Kind), FStructure(S), FClass(C) {}
  // Children whose holder counts this object keeps raised (keys, values, items).
  virtual void ForEachChild(const std::function<void(TPDFObject*)>&) const {}
  // Gives back the memory the object's contents hold; the object itself stays
  // in the structure's arena, marked dead, until the structure is cleared.
  virtual void DropContents() {}
  static void Hold(TPDFObject* Obj) {
    if (Obj) ++Obj->FHolders;
  }
  static void Unhold(TPDFObject* Obj) {
    if (Obj && Obj->FHolders) --Obj->FHolders;
  }
  static uint32_t Holders(const TPDFObject* Obj) { return Obj ? Obj->FHolders : 0; }

 private:
  friend class TPDFStructure;
  friend class TPDFParser;
  TPDFStructure* FStructure;
  // Position in the structure's object table (valid while it is not compacted).
  uint32_t FSlot = 0;
  // How many container slots (keys, values, items) hold this object: the
  // "is it still a child of some object" test of FreeObject without a scan.
  uint32_t FHolders = 0;
  TPDFClass FClass;
  // Freed: out of the table, contents dropped.
  bool FDead = false;
};

// Shorthands for TPDFObject::Cast.
template <class T>
inline T* As(TPDFObject* Obj) { return TPDFObject::Cast<T>(Obj); }
template <class T>
inline const T* As(const TPDFObject* Obj) { return TPDFObject::Cast<T>(Obj); }

// ================================================================ the kinds
class TPDFName final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::Name;
  const std::string& Value() const { return FValue; }
  void SetValue(std::string_view V);
  // A dictionary key name that the structure reuses and does not free on a
  // plain request.
  bool Shared = false;
  void AppendText(std::string& Out, int Depth = 0) const override;

 protected:
  void DropContents() override { std::string().swap(FValue); }

 private:
  friend class TPDFStructure;
  TPDFName(TPDFStructure* S, std::string_view V) : TPDFObject(S, StaticClass, 'N'), FValue(V) {}
  std::string FValue;
  // Creation order among the structure's names.
  uint64_t FSerial = 0;
  // Index in the structure's pending list, or whether it sits in a name bucket.
  size_t FNamePos = 0;
  bool FNameIndexed = false;
};

class TPDFNull final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::Null;
  void AppendText(std::string& Out, int Depth = 0) const override;

 private:
  friend class TPDFStructure;
  explicit TPDFNull(TPDFStructure* S) : TPDFObject(S, StaticClass, 0) {}
};

class TPDFBoolean final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::Boolean;
  bool Value() const { return FValue; }
  void SetValue(bool V) { FValue = V; }
  void AppendText(std::string& Out, int Depth = 0) const override;

 private:
  friend class TPDFStructure;
  TPDFBoolean(TPDFStructure* S, bool V) : TPDFObject(S, StaticClass, 0), FValue(V) {}
  bool FValue;
};

class TPDFNumeric final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::Numeric;
  double Value() const { return FValue; }
  void SetValue(double V) { FValue = V; }
  // Value rounded to the nearest integer, a half going to the even neighbour;
  // clamped to the 32-bit range (NaN gives 0).
  int32_t IntValue() const;
  void AppendText(std::string& Out, int Depth = 0) const override;

 private:
  friend class TPDFStructure;
  TPDFNumeric(TPDFStructure* S, double V) : TPDFObject(S, StaticClass, 0), FValue(V) {}
  double FValue;
};

class TPDFString final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::String;
  const std::string& Value() const { return FValue; }
  void SetValue(std::string_view V) { FValue.assign(V); }
  void SetValue(std::string&& V) { FValue = std::move(V); }
  // 0: written as a literal string; 1: written as a hex string.
  uint8_t IsHex = 0;
  void AppendText(std::string& Out, int Depth = 0) const override;

 protected:
  void DropContents() override { std::string().swap(FValue); }

 private:
  friend class TPDFStructure;
  TPDFString(TPDFStructure* S, std::string&& V, uint8_t Hex)
      : TPDFObject(S, StaticClass, 0), IsHex(Hex), FValue(std::move(V)) {}
  std::string FValue;
};

class TPDFIndRef final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::IndRef;
  int32_t Number = 0;
  int32_t Generation = 0;
  // What the structure's resolver returns for this reference (absent without
  // a resolver). A reference that resolves to a reference is not followed.
  TPDFObject* Resolve();
  void AppendText(std::string& Out, int Depth = 0) const override;
  void ShiftNumbers(int Delta, int Depth = 0) override;

 private:
  friend class TPDFStructure;
  TPDFIndRef(TPDFStructure* S, int32_t N, int32_t G) : TPDFObject(S, StaticClass, 'I'), Number(N), Generation(G) {}
};

class TPDFArray final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::Array;
  int Count() const { return static_cast<int>(FItems.size()); }
  // The item at Index, or absent outside 0..Count-1. References are not resolved.
  TPDFObject* GetItem(int Index) const;
  void Add(TPDFObject* Obj);
  void SetItem(int Index, TPDFObject* Obj);
  void Insert(int Index, TPDFObject* Obj);
  void Delete(int Index);
  void Remove(TPDFObject* Obj, bool ByText);
  int IndexOfText(const TPDFObject* Obj) const;
  bool ContainsText(std::string_view Text) const;
  void Move(int From, int To);
  void ReserveSlots(int N);
  const std::vector<TPDFObject*>& Items() const { return FItems; }

  void AppendText(std::string& Out, int Depth = 0) const override;
  void ShiftNumbers(int Delta, int Depth = 0) override;
  bool Contains(const TPDFObject* Obj) const override;

 protected:
  void ForEachChild(const std::function<void(TPDFObject*)>& F) const override;
  void DropContents() override { std::vector<TPDFObject*>().swap(FItems); }

 private:
  friend class TPDFStructure;
  friend class TPDFParser;
  explicit TPDFArray(TPDFStructure* S) : TPDFObject(S, StaticClass, 'A') {}
  std::vector<TPDFObject*> FItems;
};

class TPDFDictionary final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::Dictionary;
  using TPair = std::pair<TPDFName*, TPDFObject*>;

  int Count() const { return static_cast<int>(FEntries.size()); }
  // Key and value at Index; both absent outside the range.
  TPair PairAt(int Index) const;
  // Index of the last entry whose key equals Key byte for byte, else -1.
  int IndexOfKey(std::string_view Key) const;
  // The value of Key or absent; with Resolve, a reference is resolved once.
  TPDFObject* GetValue(std::string_view Key, bool Resolve = true) const;
  void SetValue(std::string_view Key, TPDFObject* Obj);
  void RemoveKey(std::string_view Key);
  void DeleteKey(std::string_view Key);
  void ClearEntries();
  // The /Type name (not resolved), else "".
  std::string GetTypeName() const;
  int32_t GetInteger(std::string_view Key, int32_t Default) const;
  std::string GetText(std::string_view Key) const;
  void Assign(TPDFDictionary* Source);
  const std::vector<TPair>& Entries() const { return FEntries; }

  // 1-based position in the parsed text just after the closing ">>", or where
  // the parse of this dictionary stopped.
  int64_t EndPos = 0;

  void AppendText(std::string& Out, int Depth = 0) const override;
  void ShiftNumbers(int Delta, int Depth = 0) override;
  bool Contains(const TPDFObject* Obj) const override;

 protected:
  void ForEachChild(const std::function<void(TPDFObject*)>& F) const override;
  void DropContents() override { std::vector<TPair>().swap(FEntries); }

 private:
  friend class TPDFStructure;
  friend class TPDFParser;
  explicit TPDFDictionary(TPDFStructure* S) : TPDFObject(S, StaticClass, 'D') {}
  void ReplaceEntries(const std::vector<TPair>& Pairs);
  std::vector<TPair> FEntries;
};

class TPDFStream final : public TPDFObject {
 public:
  static constexpr TPDFClass StaticClass = TPDFClass::Stream;
  // The stream's own dictionary; never absent.
  TPDFDictionary* Dictionary() const { return FDictionary; }
  // The bytes as stored in the file, still encoded.
  const std::string& RawData() const { return FRawData; }
  void SetRawData(std::string Bytes);
  void SetData(std::string Bytes, bool Compress);
  bool LoadFromFile(std::istream& File, bool Compress);
  // Frees the current dictionary (forced) and uses Dict; a null Dict is ignored.
  void SetDictionary(TPDFDictionary* Dict);
  // The decoded bytes, computed on every call: the /Filter chain applied in
  // order (Flate and LZW with their predictors, ASCII85, ASCIIHex,
  // RunLength; image codecs and other filters pass their
  // bytes on), each step capped at the structure's MaxDecodedSize.
  // With Limit, decoding stops once Limit bytes are out (the first bytes of
  // a long stream, cheaply).
  std::string GetDecodedData(size_t Limit = SIZE_MAX) const;
  // The same without a limit of the caller's; Cut tells whether the cap cut
  // the content (there was more).
  std::string GetDecodedData(bool& Cut) const;

  void AppendText(std::string& Out, int Depth = 0) const override;
  void ShiftNumbers(int Delta, int Depth = 0) override;
  bool Contains(const TPDFObject* Obj) const override;

 protected:
  void DropContents() override { std::string().swap(FRawData); }

 private:
  std::string Decode(size_t Limit, bool* Cut) const;
  friend class TPDFStructure;
  TPDFStream(TPDFStructure* S, TPDFDictionary* D) : TPDFObject(S, StaticClass, 'S'), FDictionary(D) {}
  TPDFDictionary* FDictionary;
  std::string FRawData;
};

// ================================================================ TPDFStructure
// Owns every object created through it, in creation order. Objects live until
// FreeObject frees them, Clear is called or the structure is destroyed.
// One thread at a time: parsing and resolving add objects.
class TPDFStructure {
 public:
  // Resolves a reference (the reference, its number, its generation) to an
  // object or absent. Installed by the owning document.
  using TResolveReference = std::function<TPDFObject*(TPDFIndRef*, int32_t, int32_t)>;
  // Registers Obj as a new indirect object; gives its number and generation.
  using TNewIndirect = std::function<void(TPDFObject*, int32_t&, int32_t&)>;

  TPDFStructure();
  ~TPDFStructure();
  TPDFStructure(const TPDFStructure&) = delete;
  TPDFStructure& operator=(const TPDFStructure&) = delete;

  TResolveReference OnResolveReference;
  TNewIndirect OnNewIndirect;
  // Dictionaries are written one entry per line even with a single entry.
  bool MultiLineOutput = true;
  // Decimals used when numbers are written.
  int NumberDecimals = 4;
  // Cap on the decoded size of one stream (kept by Clear).
  size_t MaxDecodedSize = DefaultMaxDecodedSize;

  // Frees every object and resets the settings above.
  void Clear();

  // Parses one object from the start of Text; absent when none can be read.
  // Never fails otherwise: cut-short containers are returned with what was read.
  TPDFObject* ParseObject(std::string_view Text);

  TPDFDictionary* NewDictionary();
  TPDFArray* NewArray();
  TPDFNull* NewNull();
  TPDFName* NewName(std::string_view Value);
  // A key name: for the common keys an existing name object with that value is
  // reused. The result is always marked Shared.
  TPDFName* NewSharedName(std::string_view Value);
  TPDFNumeric* NewNumber(double Value);
  TPDFBoolean* NewBoolean(bool Value);
  TPDFString* NewString(std::string Value, uint8_t IsHex = 0);
  TPDFIndRef* NewIndRef(int32_t Number, int32_t Generation);
  // A stream holding Data, its dictionary holding /Length.
  TPDFStream* NewStream(std::string Data);
  TPDFArray* NewNumberArray(const std::vector<int>& Values);
  TPDFArray* NewNumberArray(const std::vector<double>& Values);
  TPDFArray* NewNumberArray(const std::vector<TPDFNumeric*>& Values);

  // The earliest-created name object whose value equals Value, or absent.
  TPDFName* FindName(std::string_view Value);
  // Frees Obj now. Without Force nothing happens for a shared name or for an
  // object that some object of this structure still holds as a child. Objects
  // of other structures are ignored.
  void FreeObject(TPDFObject* Obj, bool Force);

  size_t ObjectCount() const { return FTable.size() - FTombstones; }
  // The table entry at Index (0-based, creation order), or absent.
  TPDFObject* ObjectAt(int64_t Index);
  void ReserveSlots(size_t N);
  size_t SpareSlots() const { return FTable.capacity() - FTable.size(); }

 private:
  friend class TPDFName;
  template <class T, class... A>
  T* Make(A&&... Args);
  void Register(TPDFObject* Obj);
  void Destroy(TPDFObject* Obj);
  void DestroyAll();
  void Compact();
  void IndexPendingNames();
  void UnindexName(TPDFName* Name);
  void NameValueChanging(TPDFName* Name);
  void NameValueChanged(TPDFName* Name);

  // Bump arena for the objects; freed objects are destroyed in place and their
  // memory comes back with Clear.
  struct TChunk {
    std::unique_ptr<std::byte[]> Data;
    size_t Used = 0, Size = 0;
  };
  void* Allocate(size_t Bytes);
  std::vector<TChunk> FChunks;

  std::vector<TPDFObject*> FTable;  // creation order; nullptr marks a freed entry
  std::vector<TPDFObject*> FDeadObjects;  // freed, destroyed with the arena
  size_t FTombstones = 0;
  uint64_t FNextSerial = 0;

  // FindName index, filled lazily: names wait in FPendingNames until the first
  // lookup after their creation, then sit in the bucket of their value ordered
  // by creation.
  struct TNameBucket {
    std::vector<std::pair<uint64_t, TPDFName*>> Names;
    size_t Head = 0;
  };
  std::vector<TPDFName*> FPendingNames;
  std::unordered_map<std::string, TNameBucket> FNameIndex;
};

// ================================================================ TPDFRectangle
// A box read from an array of exactly four numbers (references are not
// followed); Left/Right and Bottom/Top are swapped as needed so that Left <=
// Right and Bottom <= Top. An invalid rectangle reads 0 everywhere.
class TPDFRectangle {
 public:
  explicit TPDFRectangle(TPDFObject* Obj);
  bool IsValid() const { return FSource != nullptr; }
  TPDFArray* Source() const { return FSource; }
  double Left() const;
  double Bottom() const;
  double Right() const;
  double Top() const;
  double Width() const { return Right() - Left(); }
  double Height() const { return Top() - Bottom(); }
  // Low seven bits of Kind: 0 Left, 1 Top, 2 Width, 3 Height, 4 Right, 5 Bottom.
  double Side(int Kind) const;
  TPDFNumeric* LeftObj() const { return FLeft; }
  TPDFNumeric* BottomObj() const { return FBottom; }
  TPDFNumeric* RightObj() const { return FRight; }
  TPDFNumeric* TopObj() const { return FTop; }

 private:
  TPDFArray* FSource = nullptr;
  TPDFNumeric* FLeft = nullptr;
  TPDFNumeric* FBottom = nullptr;
  TPDFNumeric* FRight = nullptr;
  TPDFNumeric* FTop = nullptr;
};

// ================================================================ TPDFNameTree
// A flat name tree: the /Names array of its root only (no /Kids).
// Used from the thread that uses its structure.
class TPDFNameTree {
 public:
  TPDFNameTree(TPDFStructure* Structure, TPDFDictionary* Root);
  // The reference stored after the string key Name; absent when there is none
  // or the value is not a reference.
  TPDFIndRef* Find(std::string_view Name) const;
  bool Contains(std::string_view Name) const { return Find(Name) != nullptr; }
  int Count() const;
  // The Index-th string key (1-based), "" outside the range.
  std::string NameAt(int Index) const;
  // Inserts the pair after the last key that sorts below Name.
  void Add(std::string_view Name, TPDFIndRef* Ref);
  bool SingleNode() const { return FSingleNode; }

 private:
  TPDFStructure* FStructure;
  TPDFDictionary* FRoot;
  bool FSingleNode = true;
  TPDFArray* FNames = nullptr;
};

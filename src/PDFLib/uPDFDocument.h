// Documents: the file in memory, the table of indirect objects with lazy
// parsing and object streams, and the load sequence.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "uPDFBudget.h"
#include "uPDFOCR.h"
#include "uPDFSecurity.h"
#include "uPDFStatus.h"
#include "uPDFStructure.h"

class TCodePage;
class TPDFDocument;
class TPDFFontCache;
class TPDFPageTree;

// ================================================================ TPDFIndObj
// One indirect object announced by the cross-reference chain: where its text
// lies and, once asked for, its parsed value. Owned by its document.
// Used from the thread that uses its document.
class TPDFIndObj {
 public:
  TPDFDocument* Document = nullptr;
  int32_t ObjectNumber = 0;
  int32_t Generation = 0;
  bool Loaded = false;
  // The parsed object (owned by the document's structure); null until loaded.
  TPDFObject* Value = nullptr;
  // Byte range of the object's text in the file (Offset 0 for objects in
  // object streams).
  int32_t Offset = 0;
  int32_t Length = 0;
  bool Decrypted = false;
  // Its references have been followed by the decryption walk.
  bool Walked = false;
  bool Compressed = false;
  int32_t StreamObjectNumber = 0;
  int32_t StreamIndex = 0;

  // The value, parsed on the first call. Never null after a load: a text that
  // cannot be read gives a null object. Null only while the object is being
  // loaded (a reference to itself) or when loads nest absurdly deep.
  TPDFObject* GetObject();
};

// One entry the cross-reference chain reported for an object number.
struct TPDFXRefEntry {
  int32_t ObjectNumber = 0;
  int32_t Generation = 0;
  int32_t Offset = 0;
  bool InUse = true;
  int32_t StreamObjectNumber = 0;
  int32_t StreamIndex = 0;
  bool Compressed = false;
};

// ================================================================ TPDFDocument
// A PDF file loaded whole into memory. Owns the file bytes, the structure that
// owns every object, the object table and the page tree.
// One thread at a time: loading, page text and decryption change it and
// its objects. Documents of different engines may be used on different
// threads at once.
class TPDFDocument {
 public:
  // CodePage null takes the locale's (TCodePage::Default).
  explicit TPDFDocument(std::shared_ptr<const TCodePage> CodePage = nullptr);
  ~TPDFDocument();
  TPDFDocument(const TPDFDocument&) = delete;
  TPDFDocument& operator=(const TPDFDocument&) = delete;

  // Reads the whole stream (from its current position) and loads it. False,
  // with the document left empty, for anything that is not a readable PDF
  // file or a file of 2 GiB or more. Never throws.
  bool LoadFromStream(std::istream& Stream);
  // The same for bytes already in memory.
  bool LoadFromData(std::string Data);
  // Why the last load failed (not_pdf, damaged_refused, unreadable, memory,
  // internal); Ok after a load that succeeded.
  const TPDFStatus& LoadStatus() const { return FLoadStatus; }
  // Back to the empty state.
  void Clear();

  // The record with this number and generation, or null.
  TPDFIndObj* FindIndObj(int32_t ObjectNumber, int32_t Generation) const;
  // FindIndObj, then GetObject; null when there is no record.
  TPDFObject* LookupObject(int32_t ObjectNumber, int32_t Generation);
  // The raw text of an object, beginning with its number, generation and "obj".
  std::string GetObjectText(const TPDFIndObj* IndObj);
  // Whether object Number Generation, once parsed, may be a dictionary with
  // the key Key: false only when its text is at hand unparsed and holds
  // neither "/Key" nor a "#" (with which a name could spell it), or when there
  // is no such object. Lets a caller skip parsing objects it would only look
  // Key up in; parses nothing.
  bool MayHoldKey(int32_t Number, int32_t Generation, std::string_view Key);
  // Registers Obj as a new indirect object numbered one above the highest.
  TPDFIndObj* NewIndObj(TPDFObject* Obj);

  // The trailer's Root; a new empty catalog when it is not a dictionary.
  TPDFDictionary* GetCatalog();
  // The catalog's Pages, or null.
  TPDFDictionary* GetPagesRoot();
  // The trailer's Info; a new empty dictionary when it is not a dictionary.
  TPDFDictionary* GetInfo();

  const std::string& Version() const { return FVersion; }
  TPDFDictionary* Trailer() const { return FTrailer; }
  TPDFPageTree* PageTree() const { return FPageTree.get(); }
  bool Linearized() const { return FLinearized; }
  TPDFStructure* Structure() const { return FStructure.get(); }
  const std::string& FileData() const { return FFileData; }
  // The object table in file order (objects of object streams first).
  size_t ObjectCount() const { return FObjectTable.size(); }
  TPDFIndObj* ObjectAt(size_t Index) const { return Index < FObjectTable.size() ? FObjectTable[Index] : nullptr; }
  const std::vector<int32_t>& SectionOffsets() const { return FSectionOffsets; }

  // Whether a damaged file is repaired (set before the load): a file whose
  // cross-reference chain cannot be read, or whose offsets do not point at
  // their objects, or whose catalog or page tree cannot be reached through
  // it, gets its object table rebuilt by scanning the file; stream data whose
  // Length is wrong end at their "endstream". Off: such files are refused or
  // read as their cross-reference data and Length values say.
  bool Repair = true;
  // The object table was rebuilt by scanning the file.
  bool Rebuilt() const { return FRebuilt; }

  // Set by the engine: the factor from points to the caller's unit, and the
  // page corner taken as origin (0 bottom left .. 3 bottom right).
  double UnitScale = 1.0;
  int Origin = 0;
  // The code page of the text the document's pages give and of passwords
  // (never null); each load takes the one set then.
  std::shared_ptr<const TCodePage> CodePage;

  // Fonts loaded for the document's pages, shared by its page-text requests.
  TPDFFontCache& FontCache() { return *FFontCache; }

  // The work budget of the selected page's text: made afresh for each page
  // by ResetPageBudget, and shared by every request for that page.
  TPDFPageBudget& PageBudget() { return *FPageBudget; }
  void ResetPageBudget(const TPDFLimits& Limits, std::optional<TPDFPageBudget::TClock::time_point> Deadline) {
    FPageBudget = std::make_unique<TPDFPageBudget>(Limits, Deadline);
  }

  // ---------------------------------------------------------------- security
  // The standard security handler, its Encrypt dictionary read on first
  // demand. The calls below ask it.
  TPDFSecurityHandler& Security();
  // 0 not encrypted; 1 the standard handler in a supported form; 2 encrypted
  // in any other way (TPDFSecurityHandler::EncryptionState).
  int EncryptionState();
  // Key strength in bits; 0 when unsupported.
  int EncryptionStrength();
  // The permission value of the last password test.
  int32_t Permissions() const { return FSecurity->Permissions(); }
  // The password tests of the handler (Password in the document's code page).
  bool CheckUserPassword(const std::string& Password);
  bool CheckOwnerPassword(const std::string& Password);
  // Accepts Password when either test passes: the document key is set from
  // then on, the objects read so far are decrypted, and a page tree that
  // waited for a password is built. A refused password changes nothing but
  // forgets the one accepted before.
  void ApplyPassword(const std::string& Password);
  // "!" and the last accepted password; empty when none was accepted.
  const std::string& StoredPassword() const { return FSecurity->StoredPassword(); }

  using TCryptMethod = TPDFCryptMethod;
  TCryptMethod StringMethod() { return Security().StringMethod(); }
  TCryptMethod StreamMethod() { return Security().StreamMethod(); }
  // The key of one indirect object for Method (TPDFSecurityHandler::ObjectKey).
  std::string ObjectKey(int32_t ObjectNumber, int32_t Generation, TCryptMethod Method = TCryptMethod::RC4) const {
    return FSecurity->ObjectKey(ObjectNumber, Generation, Method);
  }
  // Decrypts the strings and stream data in Obj and below it, with the keys
  // of indirect object ObjectNumber Generation.
  void DecryptValue(int32_t ObjectNumber, int32_t Generation, TPDFObject* Obj);
  // Loads the object when needed and decrypts it once.
  void DecryptIndObj(TPDFIndObj* IndObj);
  // Decrypts the object and the objects it refers to (from stream
  // dictionaries too), as far as they have been read. Objects are otherwise
  // decrypted when a password is accepted (those read before) and as they
  // are read (the rest), so the page tree's call before a page is selected
  // finds little left to do. Nothing happens before a password is accepted.
  void DecryptReachable(int32_t ObjectNumber, int32_t Generation);

  // Told what the document recovered from (a Perms entry that does not
  // match, for example); may be empty. Never given a password.
  std::function<void(const std::string&)> OnWarning;

  // The recognition of the text in its pages' images.
  TPDFOCRSession OCR;

  // Makes the document a new one with a single empty page of the given size.
  void InitEmpty(double Width, double Height);

 private:
  friend class TPDFIndObj;

  bool LoadSequence();
  bool CheckHeader();
  bool ReadCrossReferences();
  void AddEntry(int32_t ObjectNumber, int32_t Value1, char Kind, int32_t Value2);
  void KeepFirstEntries();
  void SetTrailerText(const std::string& Text);
  // Boundaries: offsets where no object's text may run past (sections, or
  // every object header and trailer the rebuild scan found).
  void BuildObjectTable(const std::vector<int32_t>& Boundaries);
  // Whether every in-use entry's offset points at "N G obj" of its object.
  bool EntriesPointAtObjects() const;

  // Repair of damaged files: the scan and the direct objects, then (once
  // object streams can be read, after a password for an encrypted file) the
  // members of object streams and the catalog. False when the scan found no
  // object at all.
  bool RebuildCrossReferences();
  void FinishRebuild();
  void TakeObjectStreamMembers();
  void ChooseCatalog();
  // The page tree on the catalog's Pages, page 1 selected; repairs the file
  // when the tree gives no page. False for a file whose chain could not be
  // read and whose rebuild found neither a catalog nor a page.
  bool BuildPageTree();
  // A new Pages node over every object of Type Page, in file order.
  bool PagesFromPageObjects();
  // The object table in file order (members of an object stream at its place).
  std::vector<TPDFIndObj*> FileOrder() const;
  // Where the first "endstream" at or after From in Body (a part of an
  // object's text) starts, relative to Body; npos when none follows in Body.
  size_t FindEndStream(std::string_view Body, size_t From) const;
  void CheckLinearized();
  void ResetPageTree(TPDFDictionary* Root);

  TPDFObject* LoadIndObj(TPDFIndObj* IndObj);
  TPDFObject* ParseObjectBody(const TPDFIndObj* IndObj, std::string_view Text, bool WithHeader);
  TPDFObject* AttachStreamData(TPDFDictionary* Dict, std::string_view Body);
  std::string_view CompressedText(const TPDFIndObj* IndObj);

  // A decoded object stream with its header, read once per document.
  struct TObjectStream {
    bool Valid = false;
    std::string Data;
    int64_t First = 0;
    int64_t N = 0;
    std::vector<double> Header;  // numbers of the header; NaN for other items
  };
  const TObjectStream* GetObjectStream(int32_t Number);

  std::string FVersion;
  std::string FFileData;
  std::unique_ptr<TPDFStructure> FStructure;
  // The records (stable addresses), the table in file order, and the records
  // sorted by number for lookups (new objects take the highest number, so
  // appending keeps it sorted).
  std::deque<TPDFIndObj> FRecords;
  std::vector<TPDFIndObj*> FObjectTable;
  std::vector<TPDFIndObj*> FByNumber;
  int32_t FHighestNumber = 0;
  TPDFDictionary* FTrailer = nullptr;
  std::unique_ptr<TPDFPageTree> FPageTree;
  bool FLinearized = false;

  // Collected while the cross-reference chain is read, in report order; only
  // the first report of each number is kept when the table is built.
  std::vector<TPDFXRefEntry> FEntries;
  std::vector<int32_t> FSectionOffsets;

  // Repair state: the file was rebuilt; members and catalog still to settle;
  // the positions of every "endstream" found by the scan; the object streams
  // the scan found (number, offset), in file order; the Root references of
  // the trailers found, newest first.
  bool FRebuilt = false;
  bool FRebuildPending = false;
  // The chain was read to its end (a rebuild that finds nothing then leaves
  // the file loaded, as it loads without repair).
  bool FChainRead = false;
  std::vector<int32_t> FEndStreams;
  std::vector<std::pair<int32_t, int32_t>> FScannedObjStms;
  std::vector<std::pair<int32_t, int32_t>> FRootCandidates;

  std::unordered_map<int32_t, TObjectStream> FObjectStreams;
  std::unique_ptr<TPDFFontCache> FFontCache;
  std::unique_ptr<TPDFPageBudget> FPageBudget = std::make_unique<TPDFPageBudget>();

  // The security handler, made anew by Clear; reads the trailer on first demand.
  std::unique_ptr<TPDFSecurityHandler> FSecurity;
  std::string FirstID();
  // A member of an object stream was read before the current key was set.
  bool FMembersReadEarly = false;
  // The page tree waits for a password.
  bool FPageTreeDeferred = false;
  int FLoadDepth = 0;
  TPDFStatus FLoadStatus;
};

// Page tree: finding pages, page sizes and boxes, a page's content streams and
// resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "uPDFBudget.h"
#include "uPDFStructure.h"

// Access to the pages of one document: one page is selected at a time. Pages
// are found by walking Kids arrays from the root and skipping subtrees by their
// Count; found pages are cached by number. Everything it points to belongs to
// the document.
// Used from the thread that uses its document.
class TPDFPageTree {
 public:
  // Root may be null (a tree without pages). With a root, page 1 is selected.
  // FileObjects: the number of objects of the document, the most pages a
  // Count can claim.
  explicit TPDFPageTree(TPDFDictionary* Root, size_t FileObjects = SIZE_MAX);

  // The root's Count (0 when missing, not a number or negative). A Count
  // larger than the document's number of objects is a lie: the number of
  // pages the tree holds is given instead (counted once).
  int32_t PageCount() const;
  // The dictionary of page Index (1-based), or null.
  TPDFDictionary* FindPage(int32_t Index);
  // Selects page Index; a number outside 1..PageCount re-selects the current page.
  void SelectPage(int32_t Index);
  int32_t PageIndex() const { return FPageIndex; }
  TPDFDictionary* PageDict() const { return FPageDict; }
  TPDFDictionary* Root() const { return FRoot; }
  TPDFDictionary* ParentNode() const { return FParentNode; }

  // Size of the current page from its (inherited) MediaBox, in PDF units; a
  // page without one gets the default size written into it. 0 without a page.
  double PageWidth();
  double PageHeight();
  // One measure (TPDFRectangle::Side) of a page box, inherited through Parent,
  // CropBox falling back to MediaBox and the other boxes to CropBox.
  double GetPageBox(std::string_view BoxName, int Kind);
  // The page's own Rotate, 0 when absent.
  int32_t PageRotation() const;

  // The current page's content streams, collected at selection.
  int ContentCount() const { return static_cast<int>(FContentStreams.size()); }
  const std::vector<TPDFStream*>& ContentStreams() const { return FContentStreams; }
  // 1-based number of the stream GetContentStream decodes.
  int ContentIndex = 0;
  bool ContentReady() const { return FContentReady; }
  // Decoded bytes of stream ContentIndex; empty when there is none.
  std::string GetContentStream() const;
  // Decoded bytes of all content streams, a line feed between each two that
  // are not empty.
  std::string GetPageContentBytes();
  // The decoded content streams, each decoded once per page through Budget
  // (whose strings the parts view); a stream past the budget is left out.
  TPDFContentParts GetPageContentParts(TPDFPageBudget& Budget);
  // The page's Resources, or its parent node's; an empty dictionary is put in
  // when there are none. Null only without a current page.
  TPDFDictionary* GetPageResources();

  // Reference of the page (or node) the last page lookup reached.
  int32_t LastObjectNumber = 0;
  int32_t LastGeneration = 0;
  double DefaultWidth = 612;
  double DefaultHeight = 792;
  // Drawing-layer settings: keep a last stream without the layer mark, and
  // allow a last stream of more than 500000 stored bytes.
  bool KeepLastStream = false;
  bool AllowLargeLastStream = false;

  // Called after every selection with the page dictionary (may be null).
  std::function<void(TPDFDictionary*)> OnPageSelected;
  // Called by DecryptPage with the last reference a lookup reached.
  std::function<void(int32_t, int32_t)> OnDecryptPage;
  void DecryptPage();

 private:
  // A Kids array resolved once: the items that count pages, with the page
  // count before each, so that a lookup finds its item by binary search.
  struct TKidsIndex {
    bool Usable = false;  // false: walk the array item by item
    struct TItem {
      int64_t Before;      // pages before this item within the array
      int64_t Span;        // 1 for a page, Count for a node
      TPDFIndRef* Ref;
      TPDFDictionary* Dict;
      bool IsNode;
      TPDFArray* Kids;     // a node's Kids
    };
    std::vector<TItem> Items;
  };
  const TKidsIndex& IndexKids(TPDFArray* Kids);
  TPDFDictionary* WalkKids(TPDFArray* Kids, int64_t Target, int64_t Counter, int Depth);
  TPDFDictionary* WalkKidsLinear(TPDFArray* Kids, int64_t Target, int64_t& Counter, int Depth);
  TPDFDictionary* Descend(TPDFDictionary* Node, TPDFArray* Kids, int64_t Target, int64_t Counter, int Depth);
  void NoteLast(TPDFIndRef* Ref, TPDFArray* Kids);

  int32_t CountLeaves() const;
  void CollectContents();
  TPDFIndRef* RegisterNew(TPDFObject* Obj);
  TPDFStream* NewLayerStream();
  double MediaBoxSide(bool Width);
  void ComputeDefaultSize();

  TPDFStructure* FStructure = nullptr;
  TPDFDictionary* FRoot = nullptr;
  int32_t FPageIndex = 0;
  TPDFDictionary* FParentNode = nullptr;
  TPDFDictionary* FPageDict = nullptr;
  TPDFIndRef* FLastRef = nullptr;
  TPDFArray* FLastKids = nullptr;
  std::vector<TPDFStream*> FContentStreams;
  bool FContentReady = false;
  double FWidthCache = 0, FHeightCache = 0;
  bool FWidthCached = false, FHeightCached = false;
  // Found pages by number (null results included); a map, since Count may
  // claim far more pages than exist.
  std::unordered_map<int32_t, TPDFDictionary*> FPageCache;
  std::unordered_map<const TPDFArray*, TKidsIndex> FKidsIndex;
  // Nodes on the path of the current walk: a Kids entry leading back to an
  // ancestor ends the walk.
  std::unordered_set<const TPDFDictionary*> FWalkPath;
  // The number of objects of the document when the tree was made (before
  // any page added a stream), the most pages a Count can claim.
  size_t FFileObjects;
  // Pages counted in a tree whose Count lies; -1 until counted.
  mutable int32_t FCountedPages = -1;
};

// The engine facade: the one object through which the application loads
// documents, selects pages and asks for page text.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "uPDFStructure.h"
#include "uPDFTextFunnel.h"

class TCodePage;
class TPDFDocument;

// Holds the loaded documents (never none: a new engine holds one empty
// document) and the selected one. Calls report success by result (1, or a
// positive code; 0 for failure) and leave a code for LastErrorCode. A bad file
// never makes a call throw.
class TPDFEngine {
 public:
  // The locale's code page (TCodePage::Default, which reads the environment
  // through setlocale: not to be called while other threads run).
  TPDFEngine();
  // The given code page (not null) for all page text; this one touches no
  // process-wide state, so that engines can be made on several threads.
  explicit TPDFEngine(std::shared_ptr<const TCodePage> Page);
  virtual ~TPDFEngine();
  TPDFEngine(const TPDFEngine&) = delete;
  TPDFEngine& operator=(const TPDFEngine&) = delete;

  // 1 when the file loaded (it is then appended and selected), else 0.
  int LoadFromFile(const std::string& FileName);
  int LoadFromStream(std::istream& Stream);
  // The same for bytes in memory.
  int LoadFromData(std::string Data);

  int DocumentCount() const { return static_cast<int>(FDocuments.size()); }
  // Document Index (1-based), or null.
  TPDFDocument* DocumentID(int Index) const;
  int SelectDocument(TPDFDocument* Document);
  TPDFDocument* SelectedDocument() const { return FSelected; }
  // Removes and frees Document; the last document is never removed (0).
  int RemoveDocument(TPDFDocument* Document);

  // Encryption state of the selected document: 0 none, 1 the standard
  // handler in a supported form, 2 anything else.
  virtual int Encrypted();
  // Security item Item (0..10) of the selected document.
  virtual int SecurityInfo(int Item);
  // Tries Password on the selected document: 3 not encrypted, 4 unsupported,
  // 1 user, 2 owner, 5 both, 0 wrong.
  virtual int SetPassword(const std::string& Password);

  int PageCount() const;
  // 1 when page Index is now selected; other numbers keep the current page (0).
  int SelectPage(int Index);
  int SelectedPage() const;
  // Size of the selected page times the document's unit scale.
  double PageWidth() const;
  double PageHeight() const;
  // The text of the selected page in mode 0..4; empty for other modes.
  std::string GetPageText(int Mode);
  // The blocks of the selected page in Funnel, set up as page text mode 3
  // sets up its own (origin, unit scale, page size; joined fragments) and
  // cleared first: Funnel.GetRows() is then GetPageText(3).
  void GetPageBlocks(TPDFTextFunnel& Funnel);
  // The words of the selected page as the interpreter shows them (page text
  // mode 4, unjoined): corners in the page's default user space, unrotated,
  // with text, font and font size. Empty-text words are left out.
  std::vector<TPDFTextFunnel::TWord> GetPageWords();

  int LastErrorCode() const { return FErrorCode; }

  // Whether damaged files are repaired, for documents loaded from now on
  // (TPDFDocument::Repair).
  bool Repair = true;
  // Whether the selected document's object table was rebuilt by scanning.
  bool Rebuilt() const;
  // Cap on the decoded size of one stream, for documents loaded from now on.
  size_t MaxDecodedSize = DefaultMaxDecodedSize;
  // The code page of all page text (and of passwords), for documents loaded
  // from now on.
  std::shared_ptr<const TCodePage> CodePage;
  // Told what a document loaded from now on recovered from; may be empty.
  std::function<void(const std::string&)> OnWarning;

 private:
  int AddLoaded(std::unique_ptr<TPDFDocument> Document, bool Loaded);
  std::unique_ptr<TPDFDocument> NewDocument() const;
  // Funnel set up for the positioned page text modes of the selected page.
  void SetUpFunnel(TPDFTextFunnel& Funnel, bool WordMode) const;

  std::vector<std::unique_ptr<TPDFDocument>> FDocuments;
  TPDFDocument* FSelected = nullptr;
  int FErrorCode = 0;
};

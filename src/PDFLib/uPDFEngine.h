// The engine facade: the one object through which the application loads
// documents, selects pages and asks for page text.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uPDFBudget.h"
#include "uPDFMetadata.h"
#include "uPDFOCR.h"
#include "uPDFOutline.h"
#include "uPDFStatus.h"
#include "uPDFStructure.h"
#include "uPDFTextFunnel.h"

class TCodePage;
class TPDFDocument;

// The codes of the facade's calls, by name; the numbers are the ones the
// calls have always given.

// How the selected document is encrypted (Encrypted).
enum class TPDFEncryption : int { None = 0, Supported = 1, Unsupported = 2 };

// What a password opened (SetPassword).
enum class TPDFPasswordResult : int {
  Wrong = 0,
  User = 1,
  Owner = 2,
  NotEncrypted = 3,
  Unsupported = 4,
  UserAndOwner = 5,
};
// Whether the document opens after SetPassword gave Result.
inline bool PasswordOpens(TPDFPasswordResult Result) {
  return Result == TPDFPasswordResult::User || Result == TPDFPasswordResult::Owner ||
         Result == TPDFPasswordResult::NotEncrypted || Result == TPDFPasswordResult::UserAndOwner;
}

// The items SecurityInfo answers.
enum class TPDFSecurityItem : int {
  Encrypted = 0,
  UserPassword = 1,
  OwnerPassword = 2,
  Printing = 3,
  Changing = 4,
  Copying = 5,
  Annotations = 6,
  FillingForms = 7,
  Accessibility = 8,
  Assembling = 9,
  KeyLength = 10,
};

// SecurityInfo's answers.
enum class TPDFSecurityValue : int {
  NotEncrypted = 0,
  Encrypted = 1,
  PasswordNotNeeded = 2,
  PasswordNeeded = 3,
  PrintingAllowed = 4,
  Denied = 5,
  Allowed = 6,
  Key40 = 7,
  Key128 = 8,
  UnsupportedEncryption = 9,
  PrintingLowQuality = 10,
  KeyOther = 11,
  Key256 = 12,
};

// The engine's page text modes (GetPageText): the plain text in content
// order (Plain; PlainAlso is handled as Plain), one row per text operator,
// one row per block of positioned fragments, one row per word.
enum class TPDFTextMode : int { Plain = 0, PlainAlso = 1, Operators = 2, Blocks = 3, Words = 4 };

// Where a page lies in default user space (its crop box, else its media box)
// and how far it is turned clockwise when shown (0, 90, 180 or 270).
struct TPDFPageBox {
  double Left = 0, Bottom = 0, Right = 612, Top = 792;
  int Rotation = 0;
};

// Holds the loaded documents (never none: a new engine holds one empty
// document) and the selected one. Loads report a status with its cause; the
// other calls report by result (1, or a code of the enumerations above). A
// bad file never makes a call throw. An engine and its documents are used
// from one thread at a time; engines made with their own code page may live
// on several threads at once.
class TPDFEngine {
 public:
  // The locale's code page (TCodePage::Default).
  TPDFEngine();
  // The given code page (not null) for all page text; one code page may serve
  // engines on several threads.
  explicit TPDFEngine(std::shared_ptr<const TCodePage> Page);
  virtual ~TPDFEngine();
  TPDFEngine(const TPDFEngine&) = delete;
  TPDFEngine& operator=(const TPDFEngine&) = delete;

  // Ok when the file loaded (it is then appended and selected); else the
  // cause (unreadable, not_pdf, damaged_refused, memory, internal) and
  // nothing changes.
  TPDFStatus LoadFromFile(const std::string& FileName);
  TPDFStatus LoadFromStream(std::istream& Stream);
  // The same for bytes in memory.
  TPDFStatus LoadFromData(std::string Data);

  int DocumentCount() const { return static_cast<int>(FDocuments.size()); }
  // Document Index (1-based), or null.
  TPDFDocument* DocumentID(int Index) const;
  int SelectDocument(TPDFDocument* Document);
  TPDFDocument* SelectedDocument() const { return FSelected; }
  // Removes and frees Document; the last document is never removed (0).
  int RemoveDocument(TPDFDocument* Document);

  // Encryption state of the selected document: none, the standard handler
  // in a supported form, or anything else.
  virtual TPDFEncryption Encrypted();
  // Security item Item of the selected document (KeyOther for items outside
  // the enumeration).
  virtual TPDFSecurityValue SecurityInfo(TPDFSecurityItem Item);
  // The cause when the selected document is encrypted with AES (or needs
  // SHA-2) and libcrypto cannot be loaded (aes_unavailable, naming the
  // library); Ok otherwise.
  virtual TPDFStatus CryptoStatus();
  // Tries Password on the selected document.
  virtual TPDFPasswordResult SetPassword(const std::string& Password);

  int PageCount() const;
  // 1 when page Index is now selected; other numbers keep the current page (0).
  int SelectPage(int Index);
  int SelectedPage() const;
  // Size of the selected page times the document's unit scale.
  double PageWidth() const;
  double PageHeight() const;
  // The selected page's box and rotation.
  TPDFPageBox PageBox() const;
  // The text of the selected page in Mode; empty for numbers outside the
  // enumeration.
  std::string GetPageText(TPDFTextMode Mode);
  // The blocks of the selected page in Funnel, set up as page text mode 3
  // sets up its own (origin, unit scale, page size; joined fragments) and
  // cleared first: Funnel.GetRows() is then GetPageText(3).
  void GetPageBlocks(TPDFTextFunnel& Funnel);
  // The words of the selected page as the interpreter shows them (page text
  // mode 4, unjoined): corners in the page's default user space, unrotated,
  // with text, font and font size. Empty-text words are left out.
  std::vector<TPDFTextFunnel::TWord> GetPageWords();

  // The selected document's metadata (ReadMetadata).
  TPDFMetadata Metadata();
  // The selected document's outline (ReadOutline) and the label of each of
  // its pages (ReadPageLabels); empty for a document without them, and when
  // memory runs out.
  std::vector<TPDFOutlineItem> Outline();
  std::vector<std::string> PageLabels();

  // Whether the selected page draws an image: an image XObject among its
  // resources or those of the forms they hold (one level), or an inline
  // image in its content.
  bool PageHasImages();

  // When the text of a page's images is recognised (Auto: when the page has
  // no text of its own and images cover a quarter of it), and with which
  // Tesseract languages ("eng+chi_sim"; empty: the installed ones of eng and
  // chi_sim, DefaultOCRLanguages). Read at each page-text call.
  TPDFOCRMode OCRMode = TPDFOCRMode::Auto;
  std::string OCRLanguages;
  // The languages the recognition uses: OCRLanguages, or the default.
  std::string OCRLanguagesInUse() const;
  // Whether the last page-text call of the selected document read the text
  // of its images; whether it was to but could not (Tesseract or a
  // language model missing: OCRError says which).
  bool PageRecognised() const;
  bool PageUnread() const;
  // Why images of that page were left out, one line each.
  const std::vector<std::string>& PageOCRWarnings() const;
  std::string OCRError();

  // Whether damaged files are repaired, for documents loaded from now on
  // (TPDFDocument::Repair).
  bool Repair = true;
  // Whether the selected document's object table was rebuilt by scanning.
  bool Rebuilt() const;
  // Cap on the decoded size of one stream, for documents loaded from now on.
  size_t MaxDecodedSize = DefaultMaxDecodedSize;
  // What reading one page may cost, and the time by which the work must end
  // (none: no end), for pages selected from now on.
  TPDFLimits Limits;
  std::optional<TPDFPageBudget::TClock::time_point> Deadline;
  // The budget of the selected page: which one stopped it (None when the
  // page was read whole), and whether its content was cut at the cap on
  // decoded size.
  const TPDFPageBudget& PageBudget() const;
  // The code page of all page text (and of passwords), for documents loaded
  // from now on.
  std::shared_ptr<const TCodePage> CodePage;
  // Told what a document loaded from now on recovered from; may be empty.
  std::function<void(const std::string&)> OnWarning;

 private:
  TPDFStatus AddLoaded(std::unique_ptr<TPDFDocument> Document, bool Loaded);
  std::unique_ptr<TPDFDocument> NewDocument() const;
  // Funnel set up for the positioned page text modes of the selected page.
  void SetUpFunnel(TPDFTextFunnel& Funnel, bool WordMode) const;
  // Gives the selected document the OCR settings as they are now.
  void PrepareOCR();
  // The recogniser for the languages in use, made on first need; shared by
  // the engines of a thread.
  TPDFRecogniser* Recogniser();

  std::vector<std::unique_ptr<TPDFDocument>> FDocuments;
  TPDFDocument* FSelected = nullptr;
};

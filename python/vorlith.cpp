// The Python module vorlith: the text of PDF pages and facts about a PDF
// document, the same text the console program writes with --encoding UTF-8.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <thread>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CodePage.h"
#include "Names.h"
#include "PDFCommon.h"
#include "uPDFExtra.h"
#include "Shell.h"
#include "Markdown.h"
#include "PageJSON.h"
#include "main.h"
#include "uPDFEngine.h"

namespace py = pybind11;

namespace {

// The errors of the module; each becomes the Python class of the same name
// (PDFError and its subclasses).
class EPDFError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class ENotOpened : public EPDFError {
 public:
  using EPDFError::EPDFError;
};
class EPassword : public EPDFError {
 public:
  using EPDFError::EPDFError;
};
class EUnknownEncryption : public EPDFError {
 public:
  using EPDFError::EPDFError;
};
class ETimeout : public EPDFError {
 public:
  using EPDFError::EPDFError;
};
// A bad argument found after the document loaded (a page number): ValueError.
class EArgument : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Where a document comes from: a file, or bytes in memory.
struct TSource {
  std::string Path;  // the file (bytes as the file system takes them); "" for Data
  std::string Data;
  bool InMemory = false;
  // What the macros &f and &n stand for, and the name in messages.
  std::string Name;
};

// Everything of one call lives in this object and goes with it: the engine
// and its document. Every call shares one UTF-8 code page, which may be used
// from several threads at once.
class TCall {
 public:
  // Loads the document and applies Password (see Open). Throws EPDFError.
  TCall(TSource Source, const std::optional<std::string>& Password, bool PasswordRequired)
      : FSource(std::move(Source)), FEngine(UTF8()) {
    const TPDFStatus Loaded =
        FSource.InMemory ? FEngine.LoadFromData(std::move(FSource.Data)) : FEngine.LoadFromFile(FSource.Path);
    if (!Loaded) throw ENotOpened(FormatText(MessageTable::LoadFailed, Label().c_str()));
    Open(Password, PasswordRequired);
  }

  TPDFEngine& Engine() { return FEngine; }
  const TSource& Source() const { return FSource; }

 private:
  static std::shared_ptr<const TCodePage> UTF8() {
    static const std::shared_ptr<const TCodePage> Shared = TCodePage::Create("UTF-8");
    if (!Shared) throw EPDFError("The UTF-8 conversion of iconv is not available.");
    return Shared;
  }

  // As the console program opens a file: a password is tried when one is
  // given, and counts only when the document does not open with the empty
  // user password. A document that needs one raises EPassword when the
  // password is missing (if PasswordRequired) or wrong; a security handler
  // the engine does not support raises EUnknownEncryption (if
  // PasswordRequired: page text needs the key, the document's facts do not).
  void Open(const std::optional<std::string>& Password, bool PasswordRequired) {
    const TPDFEncryption State = FEngine.Encrypted();
    if (State == TPDFEncryption::None) return;
    if (State != TPDFEncryption::Supported) {
      if (PasswordRequired) throw EUnknownEncryption(MessageTable::UnknownEncryption);
      return;
    }
    const bool Needed = FEngine.SecurityInfo(TPDFSecurityItem::UserPassword) == TPDFSecurityValue::PasswordNeeded;
    if (Password) {
      if (FEngine.SetPassword(*Password) == TPDFPasswordResult::Wrong && Needed)
        throw EPassword("The password of \"" + Label() + "\" is wrong.");
    } else if (Needed && PasswordRequired) {
      throw EPassword("\"" + Label() + "\" needs a password to open.");
    }
  }

  // The document's name in messages.
 public:
  std::string Label() const { return FSource.InMemory && FSource.Name.empty() ? "(bytes)" : FSource.Name; }

 private:

  TSource FSource;
  TPDFEngine FEngine;
};

// Runs Work and turns what the engine may throw into the module's errors:
// EPDFError and EArgument (ValueError) pass, so does bad_alloc (MemoryError);
// anything else becomes EPDFError with its message.
template <typename TWork>
auto Guarded(TWork&& Work) -> decltype(Work()) {
  try {
    return Work();
  } catch (const EPDFError&) {
    throw;
  } catch (const EArgument&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& E) {
    throw EPDFError(E.what());
  }
}

TTextType LayoutNumber(std::string_view Layout) {
  if (const std::optional<TTextType> Type = LayoutFromName(Layout)) return *Type;
  throw std::invalid_argument("layout must be " + NamesForMessage(LayoutNameList(), "\"") + ", not \"" +
                              std::string(Layout) + "\"");
}

// When images are read, by its name.
TPDFOCRMode OCRModeNumber(std::string_view Mode) {
  if (const std::optional<TPDFOCRMode> Value = OCRModeFromName(Mode)) return *Value;
  throw std::invalid_argument("ocr must be " + NamesForMessage(OCRModeNameList(), "\"") + ", not \"" +
                              std::string(Mode) + "\"");
}

// The page numbers of Pages (None: all), read while the GIL is held.
std::optional<std::vector<int64_t>> PageList(const py::object& Pages) {
  if (Pages.is_none()) return std::nullopt;
  std::vector<int64_t> Out;
  for (py::handle Item : Pages) {
    if (py::isinstance<py::bool_>(Item) || !py::isinstance<py::int_>(Item))
      throw py::type_error("pages must hold page numbers (int)");
    // A number beyond 64 bits is out of every document's range as well.
    int Overflow = 0;
    const long long Value = PyLong_AsLongLongAndOverflow(Item.ptr(), &Overflow);
    Out.push_back(Overflow ? std::numeric_limits<int64_t>::max() : Value);
  }
  return Out;
}

std::string TimeoutMessage(double Seconds, const TCall& Call) {
  return "\"" + Call.Label() + "\" took longer than " + FormatNumber(0, 3, Seconds) + " seconds.";
}

// The text of the selected pages, one item per page in the order of Pages
// (the whole call within Timeout seconds, when given).
std::vector<std::string> ExtractPages(TSource Source, TTextType TextType, const std::optional<std::vector<int64_t>>& Pages,
                                      const std::optional<std::string>& Password, const std::string& Header,
                                      const std::string& Footer, std::optional<double> Timeout, int Jobs,
                                      TPDFOCRMode OCR, const std::optional<std::string>& OCRLanguages) {
  return Guarded([&] {
    // Each further thread loads the document itself, from a copy.
    const TSource Spare = Jobs > 1 ? Source : TSource{};
    // The time counts from the load, as in the console program.
    std::optional<TPDFPageBudget::TClock::time_point> Deadline;
    if (Timeout) Deadline = DeadlineAfter(*Timeout);
    TCall Call(std::move(Source), Password, true);
    TPDFEngine& Engine = Call.Engine();
    Engine.Deadline = Deadline;
    Engine.OCRMode = OCR;
    Engine.OCRLanguages = OCRLanguages.value_or("");
    const int32_t Count = Engine.PageCount();
    std::vector<int32_t> Selected;
    if (Pages) {
      for (int64_t P : *Pages) {
        if (P < 1 || P > Count)
          throw EArgument("page " + std::to_string(P) + " is not in 1.." + std::to_string(Count));
        Selected.push_back(static_cast<int32_t>(P));
      }
    } else {
      for (int32_t P = 1; P <= Count; ++P) Selected.push_back(P);
    }
    const TPageFrame Frame{Header, Footer, Count, Call.Source().Name};
    std::vector<std::string> Items(Selected.size());
    // Thread K reads the pages K, K + Threads, ... with an engine of its own;
    // the items keep the order asked for.
    const size_t Threads = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(Jobs), Selected.size()));
    const auto Work = [&](TPDFEngine& E, size_t From) {
      for (size_t I = From; I < Selected.size(); I += Threads) {
        if (DeadlinePassed(Deadline)) throw ETimeout(TimeoutMessage(*Timeout, Call));
        E.SelectPage(Selected[I]);
        std::string Text;
        GetPageTextByType(E, TextType, Text);
        if (E.PageBudget().Exceeded() == TPDFBudgetKind::Time || DeadlinePassed(Deadline))
          throw ETimeout(TimeoutMessage(*Timeout, Call));
        Items[I] = Frame.Item(Selected[I], Text);
      }
    };
    std::vector<std::exception_ptr> Errors(Threads);
    std::vector<std::thread> Pool;
    for (size_t K = 1; K < Threads; ++K)
      Pool.emplace_back([&, K] {
        try {
          TCall Own(TSource(Spare), Password, true);
          Own.Engine().Deadline = Deadline;
          Own.Engine().OCRMode = OCR;
          Own.Engine().OCRLanguages = OCRLanguages.value_or("");
          Work(Own.Engine(), K);
        } catch (...) {
          Errors[K] = std::current_exception();
        }
      });
    try {
      Work(Engine, 0);
    } catch (...) {
      Errors[0] = std::current_exception();
    }
    for (std::thread& T : Pool) T.join();
    for (const std::exception_ptr& E : Errors)
      if (E) std::rethrow_exception(E);
    return Items;
  });
}

struct TInfo {
  int32_t Pages = 0;
  int Encrypted = 0;
  std::vector<int> Security;
  std::vector<std::pair<double, double>> PageSizes;
};

TInfo DocumentInfo(TSource Source, const std::optional<std::string>& Password) {
  return Guarded([&] {
    TCall Call(std::move(Source), Password, false);
    TPDFEngine& Engine = Call.Engine();
    TInfo Info;
    Info.Pages = Engine.PageCount();
    Info.Encrypted = static_cast<int>(Engine.Encrypted());
    for (int Item = 0; Item <= 10; ++Item)
      Info.Security.push_back(static_cast<int>(Engine.SecurityInfo(static_cast<TPDFSecurityItem>(Item))));
    for (int32_t P = 1; P <= Info.Pages; ++P) {
      Engine.SelectPage(P);
      Info.PageSizes.emplace_back(Engine.PageWidth(), Engine.PageHeight());
    }
    return Info;
  });
}

// A file name argument (str, bytes or os.PathLike) as the file system's bytes.
TSource FileSource(const py::object& Path) {
  TSource S;
  S.Path = py::bytes(py::module_::import("os").attr("fsencode")(Path)).cast<std::string>();
  // A NUL would cut the name the system opens short: another file.
  if (S.Path.find('\0') != std::string::npos) throw py::value_error("the path holds a NUL byte");
  S.Name = S.Path;
  return S;
}

TSource DataSource(const py::object& Data, const std::string& Name) {
  TSource S;
  S.InMemory = true;
  // bytes, bytearray, memoryview and anything else with the buffer protocol.
  // A view with strides (reversed, every second byte) is copied in its
  // logical order by Python's own buffer copy, never read as if contiguous.
  if (py::isinstance<py::bytes>(Data)) {
    S.Data = Data.cast<std::string>();
  } else {
    PyObject* Copy = PyBytes_FromObject(Data.ptr());
    if (!Copy) throw py::error_already_set();
    S.Data = py::reinterpret_steal<py::bytes>(Copy).cast<std::string>();
  }
  S.Name = Name;
  return S;
}

// UTF-8 text as str; bytes that are not UTF-8 (a file name's, or a font's
// that maps to nothing sensible) are kept as surrogate escapes, so that
// s.encode("utf-8", "surrogateescape") gives the console program's bytes.
py::str Text(const std::string& Bytes) {
  PyObject* S = PyUnicode_DecodeUTF8(Bytes.data(), static_cast<Py_ssize_t>(Bytes.size()), "surrogateescape");
  if (!S) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(S);
}

py::list ExtractCall(TSource Source, const std::string& Layout, const py::object& Pages,
                     const std::optional<std::string>& Password, const std::string& Header, const std::string& Footer,
                     std::optional<double> Timeout, int Jobs, const std::string& OCR,
                     const std::optional<std::string>& OCRLanguages) {
  const TTextType TextType = LayoutNumber(Layout);
  const TPDFOCRMode Mode = OCRModeNumber(OCR);
  const auto PageNumbers = PageList(Pages);
  if (Timeout && !(*Timeout > 0)) throw py::value_error("timeout must be a positive number of seconds, or None");
  if (Jobs < 1 || Jobs > 1024) throw py::value_error("jobs must be a number of threads from 1 to 1024");
  std::vector<std::string> Items;
  {
    py::gil_scoped_release Release;
    Items = ExtractPages(std::move(Source), TextType, PageNumbers, Password, Header, Footer, Timeout, Jobs, Mode,
                         OCRLanguages);
  }
  py::list Out;
  for (const std::string& Item : Items) Out.append(Text(Item));
  return Out;
}

py::dict InfoCall(TSource Source, const std::optional<std::string>& Password) {
  TInfo Info;
  {
    py::gil_scoped_release Release;
    Info = DocumentInfo(std::move(Source), Password);
  }
  py::dict Out;
  Out["pages"] = Info.Pages;
  Out["encrypted"] = Info.Encrypted;
  Out["security"] = Info.Security;
  py::list Sizes;
  for (const auto& [W, H] : Info.PageSizes) Sizes.append(py::make_tuple(W, H));
  Out["page_sizes"] = Sizes;
  return Out;
}

constexpr const char* ExtractDoc = R"(Extracts the text of the pages of the PDF file PATH.

Returns one str per selected page: the page text in LAYOUT ("content",
"reflow", "positioned" or "reading"), framed by HEADER and FOOTER (macros &p,
&a, &f, &n, &d) exactly as `textextractor --encoding UTF-8` writes the page,
without the CR LF that ends it. PAGES is None (all) or an iterable of page
numbers (1-based, in the order wanted). TIMEOUT (seconds, None for no end)
bounds the whole call: past it TimeoutError is raised. JOBS threads read the
pages, each with the document loaded once; the text is the same. A page
whose drawing costs more than the engine allows per page (a hostile file)
keeps the text read so far. OCR says when the text of page images is
recognised with Tesseract: "never", "auto" (pages without text of their own
that images cover a quarter of) or "always"; OCR_LANG names its languages
("eng+chi_sim"; None: the installed ones of eng and chi_sim). Raises
NotOpenedError, PasswordError, UnknownEncryptionError, TimeoutError (all
PDFError), ValueError for a bad layout, page, timeout or OCR setting.)";

constexpr const char* InfoDoc = R"(Facts about the PDF file PATH.

Returns a dict: "pages" (page count), "encrypted" (0 none, 1 the standard
security handler, 2 another one), "security" (the eleven security items 0..10
as `textextractor --info` prints them) and "page_sizes" (a list of (width,
height) in points). A document that needs a password still gives its facts;
a wrong PASSWORD raises PasswordError, a file that does not load
NotOpenedError.)";

constexpr const char* OpenDoc = R"(Opens the PDF document SOURCE and returns a Document.

SOURCE is a file name (str, os.PathLike, or bytes naming a file) or the
document's bytes (bytes holding a "%PDF-" header, bytearray, memoryview or
any other buffer). PASSWORD is tried as extract() tries it. OCR and OCR_LANG
say when and in which languages the text of page images is recognised, as
for extract(); TIMEOUT (seconds, None for no end) bounds each page read:
past it the read raises TimeoutError. Nothing of the pages is read here.

Use it as a context manager (`with vorlith.open(path) as doc:`), or call
doc.close(). Raises NotOpenedError, PasswordError, UnknownEncryptionError
(all PDFError), ValueError for a bad OCR setting or timeout, TypeError for a
source of another kind.)";

constexpr const char* DocumentDoc = R"(An open PDF document (vorlith.open).

len(doc) is its page count; doc[i] (0-based, negative from the end) and
iteration give its pages, which read nothing until asked. A document serves
one thread at a time: a call from another thread while one is inside raises
RuntimeError. After close() every use raises ValueError, its pages' too.)";

constexpr const char* PageDoc = R"(A page of a Document: page.number (1-based), page.size, page.text(),
page.words() and page.to_dict(). The reading-order layout that words() and
to_dict() give is read once, on first need, and kept with the page object.)";

constexpr const char* MetadataDoc = R"(The document's metadata as a dict: "title", "author", "subject", "keywords",
"creator", "producer", "creation_date" and "mod_date" (ISO 8601) for those
the document has, "version" ("1.7") and "tagged" (bool); "page_labels" (a
str per page) when the document labels its pages.)";

constexpr const char* OutlineDoc = R"(The document's outline (its bookmarks) in document order, as tuples (level,
title, page): level 1 for the items at the top, 2 for their children and so
on; page the 1-based number of the page the item goes to, None when it goes
to no page of the document.)";

constexpr const char* TextDoc = R"(The page's text in LAYOUT ("content", "reflow", "positioned" or "reading"):
the same str as extract() gives for this page and layout (lines end in
CR LF). Raises ValueError for another layout name, TimeoutError past the
document's timeout.)";

constexpr const char* WordsDoc = R"(The page's words in reading order, as tuples (x0, y0, x1, y1, text, block,
line, word): the word's box in points on the page as seen (the origin at
its top left corner, y down, its rotation applied), its text, and the
numbers of its block on the page, its line in the block and the word in the
line, each from 0.)";

constexpr const char* ToDictDoc = R"(The page in the reading-order layout as Python values: the object to_json()
writes for the page, numbers rounded to hundredths as there. Keys "number",
"width", "height", "rotation", "blocks" (and "label" when the page has
one); a block has "kind" ("text" or "table"), "bbox" [x0, y0, x1, y1],
"lines" (each with "bbox", "dir" and "words": "text", "bbox", "font",
"size", "bold", "italic"), a table also "rows" (lists of cell text), and a
running head or foot "margin": True. Text that is no valid UTF-8 has
U+FFFD in place of each bad byte, as in the JSON.)";

constexpr const char* MarkdownDoc = R"(The document as Markdown, exactly as `textextractor --format markdown`
writes it: headings from the font sizes, paragraphs, lists, tables, bold
and italic, running heads and feet left out; LF line ends. PAGE_MARKS puts
"<!-- page N -->" before each page (as --page-marks).)";

constexpr const char* ToJSONDoc = R"(The document in the reading-order layout as JSON text, exactly as
`textextractor --format json` writes it: {"file": the file name ("" for
bytes), "pages": [each page as to_dict() gives it], "outline": [{"level",
"title", "page"}, ...] (when the document has one; page 0 for none),
"metadata": {...}}, and a line feed.)";

// ---------------------------------------------------------------- documents

// A document used by a second thread while a call of another one is inside
// it: RuntimeError.
class EInUse : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What open() takes besides the source and the password: the OCR settings
// and the time one page read may take (none: no end).
struct TDocumentOptions {
  TPDFOCRMode OCR = TPDFOCRMode::Auto;
  std::string OCRLanguages;
  std::optional<double> Timeout;
};

// An open document of vorlith.open: the engine and its document, kept
// between calls until Close. Its Python object and its pages share it
// (shared_ptr), so a page keeps it alive. One thread at a time: every call
// that touches the engine holds it through a TUse, and a call from another
// thread meanwhile raises EInUse. Its members change only while the GIL is
// held.
class TDocument {
 public:
  // Loads the document (see TCall), with the GIL released by the caller.
  TDocument(TSource Source, const std::optional<std::string>& Password, TDocumentOptions Options)
      : FOptions(std::move(Options)) {
    Guarded([&] {
      FCall = std::make_unique<TCall>(std::move(Source), Password, true);
      TPDFEngine& Engine = FCall->Engine();
      Engine.OCRMode = FOptions.OCR;
      Engine.OCRLanguages = FOptions.OCRLanguages;
      FPageCount = Engine.PageCount();
      FLabel = FCall->Label();
      FName = FCall->Source().InMemory ? std::string() : FCall->Source().Name;
    });
  }

  // The engine of one call, held for that call; the GIL is held when it is
  // made and when it goes. Throws ValueError for a closed document, EInUse
  // while another thread's call holds it.
  class TUse {
   public:
    explicit TUse(TDocument& Document) : FDocument(Document) {
      Document.CheckOpen();
      if (Document.FBusy.exchange(true, std::memory_order_acquire))
        throw EInUse("the document \"" + Document.FLabel +
                     "\" is in use by another thread; a document serves one thread at a time");
    }
    ~TUse() { FDocument.FBusy.store(false, std::memory_order_release); }
    TUse(const TUse&) = delete;
    TUse& operator=(const TUse&) = delete;
    TPDFEngine& Engine() { return FDocument.FCall->Engine(); }

   private:
    TDocument& FDocument;
  };

  void CheckOpen() const {
    if (!FCall) throw py::value_error("the document \"" + FLabel + "\" is closed");
  }
  bool Closed() const { return !FCall; }
  // Frees the engine and its document; closing twice does nothing. EInUse
  // while another thread's call holds it.
  void Close() {
    if (!FCall) return;
    std::unique_ptr<TCall> Call;
    {
      TUse Use(*this);
      Call = std::move(FCall);
    }
    py::gil_scoped_release Release;
    Call.reset();
  }

  int32_t PageCount() const {
    CheckOpen();
    return FPageCount;
  }
  const std::string& Label() const { return FLabel; }
  // The file name as given ("" for bytes): the JSON's "file".
  const std::string& Name() const { return FName; }

  // Page Number in the reading-order layout as data, and its text in Type,
  // each within the page's time (EPDFError, ETimeout). Called with the GIL
  // released, under a TUse.
  TReadingPage ReadLayout(TUse& Use, int32_t Number) {
    return Guarded([&] {
      TPDFEngine& Engine = Use.Engine();
      StartPage(Engine);
      TPageResult Read = ReadPage(Engine, Number, std::nullopt, TTextType::Reading, true);
      CheckTime(Engine, Number);
      return std::move(*Read.Layout);
    });
  }
  // The label of page Number ("" for none), from the page labels read at
  // the first need. Under a TUse; the GIL may be released.
  std::string PageLabel(TUse& Use, int32_t Number) {
    if (!FLabels) FLabels = Guarded([&] { return Use.Engine().PageLabels(); });
    const size_t Index = static_cast<size_t>(Number) - 1;
    return Index < FLabels->size() ? (*FLabels)[Index] : std::string();
  }
  std::string ReadText(TUse& Use, int32_t Number, TTextType Type) {
    return Guarded([&] {
      TPDFEngine& Engine = Use.Engine();
      StartPage(Engine);
      Engine.SelectPage(Number);
      std::string Text;
      GetPageTextByType(Engine, Type, Text);
      CheckTime(Engine, Number);
      return Text;
    });
  }

 private:
  // The deadline of the page about to be selected.
  void StartPage(TPDFEngine& Engine) const {
    Engine.Deadline.reset();
    if (FOptions.Timeout) Engine.Deadline = DeadlineAfter(*FOptions.Timeout);
  }
  void CheckTime(const TPDFEngine& Engine, int32_t Number) const {
    if (Engine.PageBudget().Exceeded() == TPDFBudgetKind::Time || DeadlinePassed(Engine.Deadline))
      throw ETimeout("page " + std::to_string(Number) + " of \"" + FLabel + "\" took longer than " +
                     FormatNumber(0, 3, *FOptions.Timeout) + " seconds.");
  }

  TDocumentOptions FOptions;
  std::unique_ptr<TCall> FCall;  // null once closed
  std::atomic<bool> FBusy{false};
  int32_t FPageCount = 0;
  std::string FLabel, FName;
  // The page labels (index 0: page 1; empty when the document has none),
  // once read; changed only under a TUse.
  std::optional<std::vector<std::string>> FLabels;
};

// A page of a document: nothing is read until asked, and its reading-order
// layout at most once.
struct TPage {
  TPage(std::shared_ptr<TDocument> Of, int32_t Page) : Document(std::move(Of)), Number(Page) {}

  std::shared_ptr<TDocument> Document;
  int32_t Number = 0;  // 1-based
  std::optional<std::pair<double, double>> Size;
  std::optional<TReadingPage> Layout;
  std::string Label;  // read with Layout

  const TReadingPage& ReadingLayout() {
    Document->CheckOpen();
    if (!Layout) {
      TDocument::TUse Use(*Document);
      TReadingPage Read;
      {
        py::gil_scoped_release Release;
        Read = Document->ReadLayout(Use, Number);
        Label = Document->PageLabel(Use, Number);
      }
      Layout = std::move(Read);
    }
    return *Layout;
  }
};

// The pages of a document in order, for iteration.
struct TPageIterator {
  std::shared_ptr<TDocument> Document;
  int32_t Next = 1;
};

// ------------------------------------------------------------ Python values

// A new reference, or the pending Python error thrown.
py::object Owned(PyObject* Object) {
  if (!Object) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(Object);
}

// Text of the layout as str: UTF-8 as it is, each byte that is no part of a
// UTF-8 character as U+FFFD (as the JSON writes it). A new reference or null.
PyObject* NewText(const std::string& Bytes) {
  PyObject* S = PyUnicode_DecodeUTF8(Bytes.data(), static_cast<Py_ssize_t>(Bytes.size()), nullptr);
  if (S || !PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) return S;
  PyErr_Clear();
  const std::string Valid = ValidUTF8(Bytes);
  return PyUnicode_DecodeUTF8(Valid.data(), static_cast<Py_ssize_t>(Valid.size()), nullptr);
}

// A number as the JSON writes it (to hundredths; 0 for one not finite), so
// that the dict equals the JSON read back.
double JSONNumber(double Value) {
  if (!std::isfinite(Value)) return 0;
  const double Rounded = std::round(Value * 100) / 100;
  return Rounded == 0 ? 0 : Rounded;
}

// The keys of the page dicts, made once (interned, never freed).
struct TKeys {
  PyObject *Number, *Width, *Height, *Rotation, *Label, *Blocks, *Kind, *Margin, *BBox, *Rows, *Lines, *Dir,
      *Words, *Text, *Font, *Size, *Bold, *Italic, *KindText, *KindTable;
};
const TKeys& Keys() {
  static const TKeys K = [] {
    const auto Key = [](const char* Name) {
      PyObject* S = PyUnicode_InternFromString(Name);
      if (!S) throw py::error_already_set();
      return S;
    };
    return TKeys{Key("number"), Key("width"), Key("height"), Key("rotation"), Key("label"), Key("blocks"),
                 Key("kind"),   Key("margin"), Key("bbox"),  Key("rows"),     Key("lines"), Key("dir"),
                 Key("words"),  Key("text"),  Key("font"),   Key("size"),     Key("bold"),  Key("italic"),
                 Key("text"),   Key("table")};
  }();
  return K;
}

// Sets Dict[Key] to Value, a new reference (null: the pending error thrown).
void SetItem(PyObject* Dict, PyObject* Key, PyObject* Value) {
  const py::object Held = Owned(Value);
  if (PyDict_SetItem(Dict, Key, Held.ptr()) != 0) throw py::error_already_set();
}

PyObject* NewBox(double X0, double Y0, double X1, double Y1) {
  py::object List = Owned(PyList_New(4));
  const double Values[] = {X0, Y0, X1, Y1};
  for (Py_ssize_t I = 0; I < 4; ++I) PyList_SET_ITEM(List.ptr(), I, Owned(PyFloat_FromDouble(JSONNumber(Values[I]))).release().ptr());
  return List.release().ptr();
}

PyObject* NewBool(bool Value) { return Py_NewRef(Value ? Py_True : Py_False); }

// The page as PageJSON writes it, as Python values.
py::dict PageDict(const TReadingPage& Page, const std::string& Label) {
  const TKeys& K = Keys();
  py::dict Out;
  PyObject* D = Out.ptr();
  SetItem(D, K.Number, PyLong_FromLong(Page.Number));
  SetItem(D, K.Width, PyFloat_FromDouble(JSONNumber(Page.Width)));
  SetItem(D, K.Height, PyFloat_FromDouble(JSONNumber(Page.Height)));
  SetItem(D, K.Rotation, PyLong_FromLong(Page.Rotation));
  if (!Label.empty()) SetItem(D, K.Label, NewText(Label));
  py::object Blocks = Owned(PyList_New(static_cast<Py_ssize_t>(Page.Blocks.size())));
  for (size_t B = 0; B < Page.Blocks.size(); ++B) {
    const TReadingBlock& Block = Page.Blocks[B];
    py::object BlockDict = Owned(PyDict_New());
    PyList_SET_ITEM(Blocks.ptr(), static_cast<Py_ssize_t>(B), BlockDict.inc_ref().ptr());
    PyObject* BD = BlockDict.ptr();
    const bool Table = Block.Kind == TReadingBlockKind::Table;
    if (PyDict_SetItem(BD, K.Kind, Table ? K.KindTable : K.KindText) != 0) throw py::error_already_set();
    if (Block.Margin) SetItem(BD, K.Margin, NewBool(true));
    SetItem(BD, K.BBox, NewBox(Block.X0, Block.Y0, Block.X1, Block.Y1));
    if (Table) {
      py::object Rows = Owned(PyList_New(static_cast<Py_ssize_t>(Block.Rows.size())));
      for (size_t R = 0; R < Block.Rows.size(); ++R) {
        py::object Cells = Owned(PyList_New(static_cast<Py_ssize_t>(Block.Rows[R].size())));
        PyList_SET_ITEM(Rows.ptr(), static_cast<Py_ssize_t>(R), Cells.inc_ref().ptr());
        for (size_t C = 0; C < Block.Rows[R].size(); ++C)
          PyList_SET_ITEM(Cells.ptr(), static_cast<Py_ssize_t>(C), Owned(NewText(Block.Rows[R][C])).release().ptr());
      }
      SetItem(BD, K.Rows, Rows.release().ptr());
    }
    py::object Lines = Owned(PyList_New(static_cast<Py_ssize_t>(Block.Lines.size())));
    for (size_t L = 0; L < Block.Lines.size(); ++L) {
      const TReadingLine& Line = Block.Lines[L];
      py::object LineDict = Owned(PyDict_New());
      PyList_SET_ITEM(Lines.ptr(), static_cast<Py_ssize_t>(L), LineDict.inc_ref().ptr());
      PyObject* LD = LineDict.ptr();
      SetItem(LD, K.BBox, NewBox(Line.X0, Line.Y0, Line.X1, Line.Y1));
      py::object Dir = Owned(PyList_New(2));
      PyList_SET_ITEM(Dir.ptr(), 0, Owned(PyFloat_FromDouble(JSONNumber(Line.DirX))).release().ptr());
      PyList_SET_ITEM(Dir.ptr(), 1, Owned(PyFloat_FromDouble(JSONNumber(Line.DirY))).release().ptr());
      SetItem(LD, K.Dir, Dir.release().ptr());
      py::object Words = Owned(PyList_New(static_cast<Py_ssize_t>(Line.Words.size())));
      for (size_t W = 0; W < Line.Words.size(); ++W) {
        const TReadingWord& Word = Line.Words[W];
        py::object WordDict = Owned(PyDict_New());
        PyList_SET_ITEM(Words.ptr(), static_cast<Py_ssize_t>(W), WordDict.inc_ref().ptr());
        PyObject* WD = WordDict.ptr();
        SetItem(WD, K.Text, NewText(Word.Text));
        SetItem(WD, K.BBox, NewBox(Word.X0, Word.Y0, Word.X1, Word.Y1));
        SetItem(WD, K.Font, NewText(Word.Font));
        SetItem(WD, K.Size, PyFloat_FromDouble(JSONNumber(Word.Size)));
        SetItem(WD, K.Bold, NewBool(Word.Bold));
        SetItem(WD, K.Italic, NewBool(Word.Italic));
      }
      SetItem(LD, K.Words, Words.release().ptr());
    }
    SetItem(BD, K.Lines, Lines.release().ptr());
  }
  SetItem(D, K.Blocks, Blocks.release().ptr());
  return Out;
}

// The words of the page in reading order: (x0, y0, x1, y1, text, block,
// line, word), the numbers counted from 0 within the page, block and line.
py::list WordList(const TReadingPage& Page) {
  size_t Count = 0;
  for (const TReadingBlock& Block : Page.Blocks)
    for (const TReadingLine& Line : Block.Lines) Count += Line.Words.size();
  py::object Out = Owned(PyList_New(static_cast<Py_ssize_t>(Count)));
  Py_ssize_t At = 0;
  // A list or tuple being filled may hold nulls: its release frees the rest.
  for (size_t B = 0; B < Page.Blocks.size(); ++B) {
    const std::vector<TReadingLine>& Lines = Page.Blocks[B].Lines;
    for (size_t L = 0; L < Lines.size(); ++L) {
      const std::vector<TReadingWord>& Words = Lines[L].Words;
      for (size_t W = 0; W < Words.size(); ++W) {
        const TReadingWord& Word = Words[W];
        PyObject* Tuple = PyTuple_New(8);
        if (!Tuple) throw py::error_already_set();
        PyList_SET_ITEM(Out.ptr(), At++, Tuple);
        PyObject* Items[] = {PyFloat_FromDouble(Word.X0),
                             PyFloat_FromDouble(Word.Y0),
                             PyFloat_FromDouble(Word.X1),
                             PyFloat_FromDouble(Word.Y1),
                             NewText(Word.Text),
                             PyLong_FromSize_t(B),
                             PyLong_FromSize_t(L),
                             PyLong_FromSize_t(W)};
        bool Failed = false;
        for (Py_ssize_t I = 0; I < 8; ++I) {
          PyTuple_SET_ITEM(Tuple, I, Items[I]);
          Failed = Failed || !Items[I];
        }
        if (Failed) throw py::error_already_set();
      }
    }
  }
  return py::reinterpret_steal<py::list>(Out.release());
}

// The source of vorlith.open: a file name (str, os.PathLike, or bytes that
// name a file: at most 4096 bytes, no NUL and no "%PDF-" header), else the
// document's bytes (bytes, bytearray, memoryview, any buffer).
TSource OpenSource(const py::object& Source) {
  if (py::isinstance<py::str>(Source) || py::hasattr(Source, "__fspath__")) return FileSource(Source);
  if (py::isinstance<py::bytes>(Source)) {
    const std::string_view Bytes(PyBytes_AS_STRING(Source.ptr()), static_cast<size_t>(PyBytes_GET_SIZE(Source.ptr())));
    const bool Name = !Bytes.empty() && Bytes.size() <= 4096 && Bytes.find('\0') == std::string_view::npos &&
                      Bytes.find("%PDF-") == std::string_view::npos;
    return Name ? FileSource(Source) : DataSource(Source, "");
  }
  if (PyObject_CheckBuffer(Source.ptr())) return DataSource(Source, "");
  throw py::type_error(std::string("open() takes a file name (str, bytes or os.PathLike) or the document's bytes "
                                   "(bytes, bytearray, memoryview), not ") +
                       Py_TYPE(Source.ptr())->tp_name);
}

std::shared_ptr<TDocument> OpenCall(const py::object& Source, const std::optional<std::string>& Password,
                                    const std::string& OCR, const std::optional<std::string>& OCRLanguages,
                                    std::optional<double> Timeout) {
  TDocumentOptions Options;
  Options.OCR = OCRModeNumber(OCR);
  Options.OCRLanguages = OCRLanguages.value_or("");
  if (Timeout && !(*Timeout > 0)) throw py::value_error("timeout must be a positive number of seconds, or None");
  Options.Timeout = Timeout;
  TSource From = OpenSource(Source);
  py::gil_scoped_release Release;
  return std::make_shared<TDocument>(std::move(From), Password, std::move(Options));
}

// The page of a Python index (negative from the end): 1-based.
int32_t PageOfIndex(const TDocument& Document, const py::handle& Index) {
  if (!PyIndex_Check(Index.ptr()))
    throw py::type_error(std::string("page indexes are int, not ") + Py_TYPE(Index.ptr())->tp_name);
  const Py_ssize_t I = PyNumber_AsSsize_t(Index.ptr(), PyExc_IndexError);
  if (I == -1 && PyErr_Occurred()) throw py::error_already_set();
  const int32_t Count = Document.PageCount();
  const Py_ssize_t At = I < 0 ? I + Count : I;
  if (At < 0 || At >= Count)
    throw py::index_error("page index " + std::to_string(I) + " is out of range for " + std::to_string(Count) +
                          " pages");
  return static_cast<int32_t>(At + 1);
}

py::dict MetadataDict(TDocument& Document) {
  TDocument::TUse Use(Document);
  TPDFMetadata Metadata;
  std::vector<std::string> Labels;
  {
    py::gil_scoped_release Release;
    Metadata = Guarded([&] { return Use.Engine().Metadata(); });
    Labels = Guarded([&] { return Use.Engine().PageLabels(); });
  }
  py::dict Out;
  const std::pair<const char*, const std::string*> Items[] = {
      {"title", &Metadata.Title},       {"author", &Metadata.Author},
      {"subject", &Metadata.Subject},   {"keywords", &Metadata.Keywords},
      {"creator", &Metadata.Creator},   {"producer", &Metadata.Producer},
      {"creation_date", &Metadata.CreationDate}, {"mod_date", &Metadata.ModDate},
  };
  for (const auto& [Key, Value] : Items)
    if (!Value->empty()) Out[Key] = Owned(NewText(*Value));
  Out["version"] = Owned(NewText(Metadata.Version));
  Out["tagged"] = Metadata.Tagged;
  if (!Labels.empty()) {
    py::list List;
    for (const std::string& Label : Labels) List.append(Owned(NewText(Label)));
    Out["page_labels"] = List;
  }
  return Out;
}

py::list OutlineList(TDocument& Document) {
  TDocument::TUse Use(Document);
  std::vector<TPDFOutlineItem> Items;
  {
    py::gil_scoped_release Release;
    Items = Guarded([&] { return Use.Engine().Outline(); });
  }
  py::list Out;
  for (const TPDFOutlineItem& Item : Items)
    Out.append(py::make_tuple(Item.Level, Owned(NewText(Item.Title)),
                              Item.Page > 0 ? py::object(py::int_(Item.Page)) : py::object(py::none())));
  return Out;
}

std::string DocumentJSON(TDocument& Document) {
  TDocument::TUse Use(Document);
  const int32_t Count = Document.PageCount();
  py::gil_scoped_release Release;
  TJSONDocument Writer;
  std::string Out = Writer.Begin(Document.Name());
  for (int32_t P = 1; P <= Count; ++P) Out += Writer.Page(Document.ReadLayout(Use, P), Document.PageLabel(Use, P));
  Out += Writer.End(Guarded([&] { return Use.Engine().Metadata(); }), Guarded([&] { return Use.Engine().Outline(); }));
  return Out;
}

std::string DocumentMarkdown(TDocument& Document, bool PageMarks) {
  TDocument::TUse Use(Document);
  const int32_t Count = Document.PageCount();
  py::gil_scoped_release Release;
  TMarkdownWriter Writer;
  for (int32_t P = 1; P <= Count; ++P) Writer.AddPage(Document.ReadLayout(Use, P));
  return Writer.Finish(PageMarks);
}

std::string PageRepr(const TPage& Page) {
  return "<vorlith.Page " + std::to_string(Page.Number) + " of \"" + Page.Document->Label() + "\">";
}

}  // namespace

PYBIND11_MODULE(vorlith, m) {
  m.doc() = R"(Text of PDF files through the Vorlith PDF engine.

extract() and info() (and their _bytes forms) load a document, read it and
free it in one call. open() keeps a document open: its pages are read when
asked, with their text in each layout, their words with boxes (words()) and
their reading-order layout as a dict (to_dict()); to_json() and markdown()
write the whole document. Errors are PDFError and its subclasses.)";
  {
    int Major = 0, Minor = 0, Release = 0, Build = 0;
    GetFileVersion(Major, Minor, Release, Build);
    m.attr("__version__") = std::to_string(Major) + "." + std::to_string(Minor) + "." + std::to_string(Release);
  }
  static py::exception<EPDFError> PDFError(m, "PDFError", PyExc_Exception);
  static py::exception<ENotOpened> NotOpened(m, "NotOpenedError", PDFError.ptr());
  static py::exception<EPassword> Password(m, "PasswordError", PDFError.ptr());
  static py::exception<EUnknownEncryption> UnknownEncryption(m, "UnknownEncryptionError", PDFError.ptr());
  static py::exception<ETimeout> Timeout(m, "TimeoutError", PDFError.ptr());
  PDFError.doc() = "A PDF document could not be read; the base of the module's other errors.";
  NotOpened.doc() = "The file is missing or does not load as a PDF document.";
  Password.doc() = "The document needs a password and none was given, or the one given is wrong.";
  UnknownEncryption.doc() = "The document is protected by a security handler the engine does not support.";
  Timeout.doc() = "The call, or a page read, took longer than its timeout.";
  // The most derived class first.
  py::register_exception_translator([](std::exception_ptr P) {
    try {
      if (P) std::rethrow_exception(P);
    } catch (const ENotOpened& E) {
      NotOpened(E.what());
    } catch (const EPassword& E) {
      Password(E.what());
    } catch (const EUnknownEncryption& E) {
      UnknownEncryption(E.what());
    } catch (const ETimeout& E) {
      Timeout(E.what());
    } catch (const EPDFError& E) {
      PDFError(E.what());
    }
  });

  m.def(
      "extract",
      [](const py::object& Path, const std::string& Layout, const py::object& Pages,
         const std::optional<std::string>& Password, const std::string& Header, const std::string& Footer,
         std::optional<double> Timeout, int Jobs, const std::string& OCR,
         const std::optional<std::string>& OCRLanguages) {
        return ExtractCall(FileSource(Path), Layout, Pages, Password, Header, Footer, Timeout, Jobs, OCR, OCRLanguages);
      },
      ExtractDoc, py::arg("path"), py::arg("layout") = "reflow", py::arg("pages") = py::none(),
      py::arg("password") = py::none(), py::arg("header") = "", py::arg("footer") = "", py::arg("timeout") = py::none(),
      py::arg("jobs") = 1, py::arg("ocr") = "auto", py::arg("ocr_lang") = py::none());
  m.def(
      "extract_bytes",
      [](const py::object& Data, const std::string& Layout, const py::object& Pages,
         const std::optional<std::string>& Password, const std::string& Header, const std::string& Footer,
         const std::string& Name, std::optional<double> Timeout, int Jobs, const std::string& OCR,
         const std::optional<std::string>& OCRLanguages) {
        return ExtractCall(DataSource(Data, Name), Layout, Pages, Password, Header, Footer, Timeout, Jobs, OCR,
                           OCRLanguages);
      },
      "extract() for a PDF document in memory (bytes or any buffer); NAME is what &f and &n stand for.",
      py::arg("data"), py::arg("layout") = "reflow", py::arg("pages") = py::none(), py::arg("password") = py::none(),
      py::arg("header") = "", py::arg("footer") = "", py::arg("name") = "", py::arg("timeout") = py::none(),
      py::arg("jobs") = 1, py::arg("ocr") = "auto", py::arg("ocr_lang") = py::none());
  m.def(
      "info",
      [](const py::object& Path, const std::optional<std::string>& Password) {
        return InfoCall(FileSource(Path), Password);
      },
      InfoDoc, py::arg("path"), py::arg("password") = py::none());
  m.def(
      "info_bytes",
      [](const py::object& Data, const std::optional<std::string>& Password) {
        return InfoCall(DataSource(Data, ""), Password);
      },
      "info() for a PDF document in memory (bytes or any buffer).", py::arg("data"), py::arg("password") = py::none());

  py::class_<TDocument, std::shared_ptr<TDocument>> Document(m, "Document", DocumentDoc);
  py::class_<TPage> Page(m, "Page", PageDoc);
  py::class_<TPageIterator> PageIterator(m, "PageIterator", "Iterates over the pages of a Document.");

  m.def("open", &OpenCall, OpenDoc, py::arg("source"), py::arg("password") = py::none(), py::arg("ocr") = "auto",
        py::arg("ocr_lang") = py::none(), py::arg("timeout") = py::none());

  Document
      .def("__len__", &TDocument::PageCount, "The page count.")
      .def(
          "__getitem__",
          [](const std::shared_ptr<TDocument>& D, const py::object& Index) {
            return TPage(D, PageOfIndex(*D, Index));
          },
          "The page at INDEX (0-based; negative from the end). IndexError outside the document.",
          py::arg("index"))
      .def(
          "__iter__", [](const std::shared_ptr<TDocument>& D) { D->CheckOpen(); return TPageIterator{D}; },
          "The pages in order.")
      .def(
          "__enter__", [](const std::shared_ptr<TDocument>& D) { D->CheckOpen(); return D; },
          "The document itself.")
      .def(
          "__exit__", [](TDocument& D, const py::args&) { D.Close(); },
          "Closes the document.")
      .def("close", &TDocument::Close,
           "Frees the engine and the document. Closing again does nothing; RuntimeError while another "
           "thread's call is inside the document.")
      .def_property_readonly("closed", &TDocument::Closed, "Whether close() was called.")
      .def_property_readonly("metadata", &MetadataDict, MetadataDoc)
      .def_property_readonly("outline", &OutlineList, OutlineDoc)
      .def("to_json", [](TDocument& D) { return Text(DocumentJSON(D)); }, ToJSONDoc)
      .def(
          "markdown", [](TDocument& D, bool PageMarks) { return Text(DocumentMarkdown(D, PageMarks)); },
          MarkdownDoc, py::arg("page_marks") = false)
      .def("__repr__", [](const TDocument& D) {
        return Text("<vorlith.Document \"" + D.Label() + "\"" + (D.Closed() ? ", closed>" : ">"));
      });

  Page.def_property_readonly(
          "number", [](const TPage& P) { return P.Number; }, "The page number (1-based).")
      .def_property_readonly(
          "size",
          [](TPage& P) {
            P.Document->CheckOpen();
            if (!P.Size) {
              TDocument::TUse Use(*P.Document);
              TPDFPageBox Box;
              {
                py::gil_scoped_release Release;
                Box = Guarded([&] {
                  Use.Engine().SelectPage(P.Number);
                  return Use.Engine().PageBox();
                });
              }
              const double W = Box.Right - Box.Left, H = Box.Top - Box.Bottom;
              P.Size = Box.Rotation == 90 || Box.Rotation == 270 ? std::pair(H, W) : std::pair(W, H);
            }
            return *P.Size;
          },
          "(width, height) in points as the page is seen: its crop box, its rotation applied.")
      .def(
          "text",
          [](TPage& P, const std::string& Layout) {
            const TTextType Type = LayoutNumber(Layout);
            TDocument::TUse Use(*P.Document);
            std::string Read;
            {
              py::gil_scoped_release Release;
              Read = P.Document->ReadText(Use, P.Number, Type);
            }
            return Text(Read);
          },
          TextDoc, py::arg("layout") = "reading")
      .def("words", [](TPage& P) { return WordList(P.ReadingLayout()); }, WordsDoc)
      .def(
          "to_dict",
          [](TPage& P) {
            const TReadingPage& Layout = P.ReadingLayout();
            return PageDict(Layout, P.Label);
          },
          ToDictDoc)
      .def("__repr__", [](const TPage& P) { return Text(PageRepr(P)); });

  PageIterator.def("__iter__", [](py::object Self) { return Self; }, "The iterator itself.")
      .def(
          "__next__",
          [](TPageIterator& I) {
            if (I.Next > I.Document->PageCount()) throw py::stop_iteration();
            return TPage(I.Document, I.Next++);
          },
          "The next page.");
}

// The Python module vorlith: the text of PDF pages and facts about a PDF
// document, the same text the console program writes with --encoding UTF-8.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
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

}  // namespace

PYBIND11_MODULE(vorlith, m) {
  m.doc() = "Text of PDF files through the Vorlith PDF engine.";
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
}

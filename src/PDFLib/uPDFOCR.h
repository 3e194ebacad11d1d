// Text recognition in the images of a page, through Tesseract.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "uPDFImage.h"

// When a page's images are read: never; when the page needs it (it has no
// text of its own and images cover at least a quarter of it); always (every
// image's words are added to the page's own).
enum class TPDFOCRMode : int { Never = 0, Auto = 1, Always = 2 };

// A recognised word: its box in the pixels of the image it was read from
// (top left origin, y down), the baseline of its line at the box's left
// and right edges, and its text in UTF-8. Words of one line share Line.
struct TPDFOCRWord {
  double Left = 0, Top = 0, Right = 0, Bottom = 0;
  double BaselineLeft = 0, BaselineRight = 0;
  int Line = 0;
  std::string Text;
};

// The language models of Tesseract this run may use: the installed ones of
// "eng" and "chi_sim", joined by "+" ("" when neither is installed).
std::string DefaultOCRLanguages();
// The languages of Languages ("eng+chi_sim") whose model is not installed.
std::vector<std::string> MissingOCRLanguages(const std::string& Languages);
// The Debian package that installs language Language's model
// ("tesseract-ocr-chi-sim" for "chi_sim").
std::string OCRLanguagePackage(const std::string& Language);

// One Tesseract instance with its languages, started on first use, its own
// threads held to one (workers spread pages over the cores). One thread at
// a time.
class TPDFRecogniser {
 public:
  explicit TPDFRecogniser(std::string Languages);
  ~TPDFRecogniser();
  TPDFRecogniser(const TPDFRecogniser&) = delete;
  TPDFRecogniser& operator=(const TPDFRecogniser&) = delete;

  const std::string& Languages() const { return FLanguages; }
  // Whether Tesseract started with the languages (started now if not yet);
  // Error() then says why not.
  bool Ready();
  const std::string& Error() const { return FError; }
  // The words of Image read at Scale times its size (page segmentation
  // "auto"), boxes in Image's own pixels. Words Tesseract is least sure of
  // (confidence below 30 of 100) are left out; Chinese, Japanese and Korean
  // "words" that meet on a line without a space are one.
  std::vector<TPDFOCRWord> Recognise(const TPDFImage& Image, double Scale);

  // The resolution images are read at, in pixels per inch on the page.
  static constexpr double Resolution = 300;

 private:
  struct TApi;
  std::string FLanguages;
  std::string FError;
  bool FStarted = false;
  std::unique_ptr<TApi> FApi;
};

// The words recognised in one image, with the size of the image they were
// read from (their boxes are in its pixels); Error says why there are none
// when the image could not be read.
struct TPDFImageWords {
  int32_t Width = 0, Height = 0;
  std::vector<TPDFOCRWord> Words;
  std::string Error;
  // Set when no recogniser could read it (not a fault of the image).
  bool NoRecogniser = false;
};

// The OCR of one document: when it is done, the recogniser it uses (the
// engine's, shared by its documents; may give null), the words of each image
// read so far (an image is read once, however often it is drawn or its page
// asked for), and what the last page asked for came to. One thread at a time.
class TPDFOCRSession {
 public:
  TPDFOCRMode Mode = TPDFOCRMode::Auto;
  std::function<TPDFRecogniser*()> Recogniser;
  TPDFImageLimits Limits;

  // What the last page's text came to: its images were read, or they were
  // to be read but could not (no recogniser, or it could not start).
  bool PageRecognised = false;
  bool PageUnread = false;
  // Why images of the last page were left out ("an image of page 3 is not
  // read: too large: 90000 x 90000 pixels"), one line per image.
  std::vector<std::string> PageWarnings;
  // Clears what the last page came to.
  void StartPage() {
    PageRecognised = PageUnread = false;
    PageWarnings.clear();
  }

  // The words of Image at Scale (see TPDFRecogniser::Recognise), kept under
  // Key. Image is decoded with Resources and Fill; an image that cannot be
  // decoded gives its Error and no words.
  const TPDFImageWords& Words(const std::string& Key, const TPDFStream& Image, const TPDFDictionary* Resources,
                              std::array<uint8_t, 3> Fill, double Scale);
  // The same for the image Make gives (called only when Key is new): a
  // picture composed of several, for example.
  const TPDFImageWords& Words(const std::string& Key, const std::function<TPDFImageResult()>& Make, double Scale);

 private:
  std::map<std::string, TPDFImageWords> FCache;
};

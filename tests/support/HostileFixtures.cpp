// Hostile fixture files.
#include "HostileFixtures.h"

#include "TestPDFWriter.h"

namespace {

// Catalog 1, Pages 2, Page 3 with Contents and the font /F1 (object 4) plus
// ExtraResources; the caller adds the content streams (and more).
TTestPDFWriter OnePage(const std::string& Contents, const std::string& ExtraResources = "") {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  W.Add(3, 0,
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + Contents +
            " /Resources << /Font << /F1 4 0 R >> " + ExtraResources + " >> >>");
  W.Add(4, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  W.Section().Root = "1 0 R";
  return W;
}

}  // namespace

std::string FormChainPdf(int Depth, int FanOut) {
  TTestPDFWriter W = OnePage("5 0 R", "/XObject << /X 10 0 R >>");
  W.AddStream(5, "", "/X Do", false);
  for (int Level = 0; Level < Depth; ++Level) {
    const bool Last = Level + 1 == Depth;
    std::string Content = "BT /F1 10 Tf 72 700 Td (" + (Last ? std::string("leaf") : "level" + std::to_string(Level)) + ") Tj ET";
    std::string Resources = "/Resources << /Font << /F1 4 0 R >>";
    if (!Last) {
      for (int I = 0; I < FanOut; ++I) Content += " /X Do";
      Resources += " /XObject << /X " + std::to_string(11 + Level) + " 0 R >>";
    }
    Resources += " >>";
    W.AddStream(10 + Level, "/Type /XObject /Subtype /Form /BBox [0 0 612 792] " + Resources, Content, false);
  }
  return W.Finish();
}

std::string CoincidentWordsPdf(int Count) {
  std::string Content = "BT /F1 10 Tf ";
  for (int I = 0; I < Count; ++I) Content += "1 0 0 1 72 700 Tm (word) Tj ";
  Content += "ET";
  TTestPDFWriter W = OnePage("5 0 R");
  W.AddStream(5, "", Content, true);
  return W.Finish();
}

std::string RepeatedContentsPdf(int Times, size_t Spaces) {
  std::string List = "[";
  for (int I = 0; I < Times; ++I) List += " 5 0 R";
  List += " ]";
  TTestPDFWriter W = OnePage(List);
  W.AddStream(5, "", std::string(Spaces, ' ') + "BT /F1 10 Tf 72 700 Td (end) Tj ET", true);
  return W.Finish();
}

std::string TextPastSpacesPdf(size_t Spaces) {
  TTestPDFWriter W = OnePage("5 0 R");
  W.AddStream(5, "",
              "BT /F1 10 Tf 72 700 Td (start) Tj ET" + std::string(Spaces, ' ') + "BT /F1 10 Tf 72 680 Td (end) Tj ET",
              true);
  return W.Finish();
}

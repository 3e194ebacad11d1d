// Writes seed files for the fuzz_load_document target with the fixture writer,
// with "rebuild" the damaged files that seed fuzz_rebuild, with "hostile"
// pages that cost without end unless their budgets stop them, or with
// "outline" documents with outlines and page labels that seed fuzz_outline:
//   make_load_seeds OUTPUT_DIR [rebuild|hostile|outline]
#include <fstream>
#include <string>

#include "HostileFixtures.h"
#include "TestPDFWriter.h"

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  const std::string Dir = argv[1];
  auto Save = [&](const std::string& Name, TTestPDFWriter W) {
    std::ofstream(Dir + "/" + Name + ".pdf", std::ios::binary) << W.Finish();
  };
  auto Pages = [](int N) {
    TSimpleDocOptions O;
    for (int P = 1; P <= N; ++P) O.Pages.push_back({"BT /F1 12 Tf 72 720 Td (Page " + std::to_string(P) + ") Tj ET"});
    return O;
  };
  if (argc > 2 && std::string(argv[2]) == "hostile") {
    const auto SaveBytes = [&](const std::string& Name, const std::string& Bytes) {
      std::ofstream(Dir + "/" + Name + ".pdf", std::ios::binary) << Bytes;
    };
    SaveBytes("hostile-form-chain", FormChainPdf(8, 20));
    SaveBytes("hostile-coincident", CoincidentWordsPdf(2000));
    SaveBytes("hostile-repeated", RepeatedContentsPdf(16, 1000));
    SaveBytes("hostile-past-spaces", TextPastSpacesPdf(1000));
    return 0;
  }
  if (argc > 2 && std::string(argv[2]) == "outline") {
    // Three pages (objects 4 to 6), an outline with explicit, named and
    // action destinations, a Names tree, and page labels in two ranges.
    const auto Outlined = [](TTestPDFWriter& W, const std::string& Catalog, const std::string& Tree) {
      W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R " + Catalog + " >>");
      W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 3 >>");
      W.Add(3, 0, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R] /Count 2 >>");
      for (int P = 4; P <= 6; ++P) W.Add(P, 0, "<< /Type /Page /Parent " + std::string(P < 6 ? "3" : "2") + " 0 R >>");
      W.Add(10, 0, "<< /Type /Outlines /First 11 0 R /Last 13 0 R >>");
      W.Add(11, 0, "<< /Title (One) /Parent 10 0 R /First 12 0 R /Next 13 0 R /Dest [4 0 R /XYZ 0 0 0] >>");
      W.Add(12, 0, "<< /Title <FEFF004F006E0065002E0041> /Parent 11 0 R /Dest (there) >>");
      W.Add(13, 0, "<< /Title (Two) /Parent 10 0 R " + Tree + " >>");
      W.Add(20, 0, "<< /Names [(here) << /D [1 /Fit] >> (there) [6 0 R /Fit]] >>");
      W.Add(21, 0, "<< /Nums [0 << /S /r /P (x-) >> 2 << /S /A /St 27 >>] >>");
      W.Section().Root = "1 0 R";
    };
    TTestPDFWriter W;
    Outlined(W, "/Names << /Dests 20 0 R >> /PageLabels 21 0 R /Dests << /d [5 0 R /Fit] >>",
             "/A << /S /GoTo /D /d >> /Next 14 0 R");
    W.Add(14, 0, "<< /Title (Web) /Parent 10 0 R /A << /S /URI /URI (http://example.org/) >> >>");
    Save("outline", std::move(W));
    // Loops: a Next back to the first item, a First to the root, kids of
    // both trees back to their roots.
    TTestPDFWriter L;
    Outlined(L, "/Names << /Dests 22 0 R >> /PageLabels 23 0 R", "/Next 11 0 R /First 10 0 R /Dest (here)");
    L.Add(22, 0, "<< /Kids [20 0 R 22 0 R] >>");
    L.Add(23, 0, "<< /Kids [21 0 R 23 0 R] >>");
    Save("outline-loops", std::move(L));
    // The same in object streams, with a cross-reference stream.
    TTestPDFWriter S;
    S.SetHeader("%PDF-1.5\n");
    S.Section().Form = TXRefForm::Stream;
    TTestPDFWriter Plain;
    Outlined(Plain, "/Names << /Dests 20 0 R >> /PageLabels 21 0 R", "/Dest [2 /Fit]");
    const std::string Text = Plain.Finish();
    for (int Number : {1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 20, 21}) {
      const size_t Start = Text.find(" 0 obj\n", Plain.ObjectOffset(Number)) + 7;
      S.AddToObjStm(30, Number, Text.substr(Start, Text.find("\nendobj", Start) - Start));
    }
    S.Section().Root = "1 0 R";
    Save("outline-objstm", std::move(S));
    return 0;
  }
  if (argc > 2 && std::string(argv[2]) == "rebuild") {
    // Offsets shifted, then object streams only a scan finds.
    TSimpleDocOptions O = Pages(3);
    O.Form = TXRefForm::Stream;
    O.ObjectStreams = true;
    O.ObjectsPerStream = 2;
    TTestPDFWriter W = MakeSimpleDocument(O);
    W.SetJunkAfterHeader(std::string(300, ' '));
    Save("shifted-objstm", std::move(W));
    O.Form = TXRefForm::Table;
    Save("hidden-objstm", MakeSimpleDocument(O));
    // Wrong Length values, no trailer, an update, and a lying Count.
    TTestPDFWriter L;
    L.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
    L.Add(2, 0, "<< /Type /Pages /Kids [3 0 R 3 0 R] /Count 2147483647 >>");
    L.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents [4 0 R 5 0 R] >>");
    L.AddStream(4, "", "BT (short) Tj ET", true, {0, 3, 0});
    L.AddStream(5, "", "BT (long) Tj ET", false, {0, 900, 0});
    L.Section().OmitTrailer = true;
    L.StartUpdate();
    L.AddStream(5, "", "BT (updated) Tj ET", false, {0, -1, 6});
    Save("lengths-update", std::move(L));
    return 0;
  }
  Save("table", MakeSimpleDocument(Pages(2)));
  TSimpleDocOptions O = Pages(5);
  O.FanOut = 2;
  O.MediaBoxOnRoot = true;
  O.ContentsArray = true;
  Save("tree", MakeSimpleDocument(O));
  O = Pages(4);
  O.Form = TXRefForm::Stream;
  O.ObjectStreams = true;
  O.ObjectsPerStream = 3;
  Save("objstm", MakeSimpleDocument(O));
  O.Form = TXRefForm::Hybrid;
  TTestPDFWriter W = MakeSimpleDocument(O);
  W.StartUpdate();
  W.Section().Form = TXRefForm::Stream;
  W.Section().Predictor = true;
  W.AddStream(50, "<< >>", "BT (updated) Tj ET", true, {0, -1, 51});
  Save("hybrid-update", std::move(W));
  return 0;
}

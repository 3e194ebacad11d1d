// Writes seed files for the fuzz_load_document target with the fixture writer,
// with "rebuild" the damaged files that seed fuzz_rebuild, or with "hostile"
// pages that cost without end unless their budgets stop them:
//   make_load_seeds OUTPUT_DIR [rebuild|hostile]
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

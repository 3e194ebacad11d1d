// Writes seed files for the fuzz_load_document target with the fixture writer:
//   make_load_seeds OUTPUT_DIR
#include <fstream>
#include <string>

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

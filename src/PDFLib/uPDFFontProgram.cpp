// Font programs: the Type 3 kind.
#include "uPDFFontProgram.h"

#include "uPDFStructure.h"

// ================================================================ TPDFType3Rasterizer

void TPDFType3Rasterizer::LoadFromDictionary(TPDFDictionary* Font) {
  if (!Font) return;
  if (auto* Matrix = As<TPDFArray>(Font->GetValue("FontMatrix", true)); Matrix && Matrix->Count() == 6)
    for (int I = 0; I < 6; ++I)
      if (const auto* N = As<TPDFNumeric>(Matrix->GetItem(I))) FontMatrix[I] = N->Value();
  if (auto* Procs = As<TPDFDictionary>(Font->GetValue("CharProcs", true)))
    for (const auto& [Key, Value] : Procs->Entries()) GlyphProcNames.push_back(Key ? Key->Value() : std::string());
}

// Type 1 (FontFile) and CFF (FontFile3) font programs: their built-in
// encoding and, for CFF, the width scale of the font matrix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "uPDFFontConst.h"
#include "uPDFFontProgram.h"

class TPDFStream;

// A Type 1 or CFF program; safe to read from several threads once loaded.
class TPDFType1Decoder final : public TPDFFontRasterizer {
 public:
  TPDFType1Decoder();

  // A Type 1 program: Length1, Length2 and Length3 of the stream's dictionary
  // cut its decoded data into the clear text, the encrypted part and the
  // trailer (all empty unless Length1 and Length2 are both positive).
  void LoadType1(const TPDFStream* FontFile);
  void LoadType1Program(std::string_view Data, int64_t Length1, int64_t Length2, int64_t Length3);
  // A bare CFF program (the decoded FontFile3 data).
  void LoadCFF(const TPDFStream* FontFile);
  void LoadCFFProgram(std::string_view Data);

  double WidthScale() const override { return FWidthScale; }

  // The program's own code-to-glyph-name table: StandardEncoding names for a
  // Type 1 program unless its clear text defines others; for CFF the names its
  // encoding gives (empty before any, and for the Expert encoding).
  TPDFGlyphNames BuiltInEncoding;
  std::string ClearText, EncryptedPart, Trailer;
  // The encrypted part after eexec decryption (its first four bytes dropped).
  std::string PrivateText;
  // CFF: the top dictionary has ROS.
  bool IsCIDKeyed = false;
  // CFF: one name per glyph from the charset ("CID:n" for CID-keyed fonts).
  std::vector<std::string> GlyphNames;

 private:
  void ReadClearText();
  double FWidthScale = 1.0;
};

// The clear text of a Type 1 program rewritten as PDF object syntax, from its
// first "dict" on: dictionaries become << >>, procedures and arrays made with
// "array" become [ ], binary sections become (), and other operators are
// dropped. Exposed for tests.
std::string Type1ClearTextToPDF(std::string_view Clear);

// eexec decryption of Cipher (binary, or hexadecimal when its first four bytes
// are hexadecimal digits), with the first four plain bytes dropped.
std::string DecryptEexec(std::string_view Cipher);

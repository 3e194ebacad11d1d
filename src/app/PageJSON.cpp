// The JSON form of the reading-order layout.
#include "PageJSON.h"

#include <charconv>
#include <cmath>

#include "uPDFExtra.h"

namespace {

void AppendBox(std::string& Out, double X0, double Y0, double X1, double Y1) {
  Out += "\"bbox\":[";
  AppendJSONNumber(Out, X0);
  Out += ',';
  AppendJSONNumber(Out, Y0);
  Out += ',';
  AppendJSONNumber(Out, X1);
  Out += ',';
  AppendJSONNumber(Out, Y1);
  Out += ']';
}

void AppendKey(std::string& Out, const char* Key) {
  Out += '"';
  Out += Key;
  Out += "\":";
}

void AppendLines(std::string& Out, const std::vector<TReadingLine>& Lines) {
  Out += "\"lines\":[";
  bool FirstLine = true;
  for (const TReadingLine& Line : Lines) {
    if (!FirstLine) Out += ',';
    FirstLine = false;
    Out += '{';
    AppendBox(Out, Line.X0, Line.Y0, Line.X1, Line.Y1);
    Out += ",\"dir\":[";
    AppendJSONNumber(Out, Line.DirX);
    Out += ',';
    AppendJSONNumber(Out, Line.DirY);
    Out += "],\"words\":[";
    bool FirstWord = true;
    for (const TReadingWord& Word : Line.Words) {
      if (!FirstWord) Out += ',';
      FirstWord = false;
      Out += "{\"text\":";
      AppendJSONString(Out, Word.Text);
      Out += ',';
      AppendBox(Out, Word.X0, Word.Y0, Word.X1, Word.Y1);
      Out += ",\"font\":";
      AppendJSONString(Out, Word.Font);
      Out += ",\"size\":";
      AppendJSONNumber(Out, Word.Size);
      Out += Word.Bold ? ",\"bold\":true" : ",\"bold\":false";
      Out += Word.Italic ? ",\"italic\":true}" : ",\"italic\":false}";
    }
    Out += "]}";
  }
  Out += ']';
}

}  // namespace

void AppendJSONString(std::string& Out, std::string_view Text) {
  static const char Hex[] = "0123456789abcdef";
  Out += '"';
  for (size_t I = 0; I < Text.size();) {
    // A run of characters that go as they are, in one piece.
    size_t Plain = I;
    while (Plain < Text.size()) {
      const unsigned char P = static_cast<unsigned char>(Text[Plain]);
      if (P < 0x20 || P >= 0x80 || P == '"' || P == '\\') break;
      ++Plain;
    }
    if (Plain > I) {
      Out.append(Text.data() + I, Plain - I);
      I = Plain;
      continue;
    }
    const unsigned char C = static_cast<unsigned char>(Text[I]);
    if (C == '"' || C == '\\') {
      Out += '\\';
      Out += static_cast<char>(C);
      ++I;
      continue;
    }
    if (C < 0x20) {
      switch (C) {
        case '\n': Out += "\\n"; break;
        case '\r': Out += "\\r"; break;
        case '\t': Out += "\\t"; break;
        case '\f': Out += "\\f"; break;
        case '\b': Out += "\\b"; break;
        default:
          Out += "\\u00";
          Out += Hex[C >> 4];
          Out += Hex[C & 15];
      }
      ++I;
      continue;
    }
    I += AppendUTF8Char(Out, Text, I);
  }
  Out += '"';
}

std::string ValidUTF8(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size();) I += AppendUTF8Char(Out, Text, I);
  return Out;
}

void AppendJSONNumber(std::string& Out, double Value) {
  // In whole hundredths, rounded half away from zero; -0.001 is 0, not -0.
  const double Scaled = std::isfinite(Value) ? Value * 100 : 0;
  if (std::fabs(Scaled) < 9e17) {
    long long Hundredths = std::llround(Scaled);
    if (Hundredths == 0) {
      Out += '0';
      return;
    }
    if (Hundredths < 0) {
      Out += '-';
      Hundredths = -Hundredths;
    }
    // Digits from the right, without trailing zeros after the point.
    char Digits[24];
    char* const End = Digits + sizeof Digits;
    char* At = End;
    const long long Cents = Hundredths % 100;
    if (Cents) {
      if (Cents % 10) *--At = static_cast<char>('0' + Cents % 10);
      *--At = static_cast<char>('0' + Cents / 10);
      *--At = '.';
    }
    long long Whole = Hundredths / 100;
    do {
      *--At = static_cast<char>('0' + Whole % 10);
      Whole /= 10;
    } while (Whole);
    Out.append(At, End);
    return;
  }
  // Beyond: the float printer, at two decimals without trailing zeros.
  char Buffer[400];
  auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed, 2);
  if (Error != std::errc()) {
    Out += '0';
    return;
  }
  char* Last = End;
  while (Last > Buffer && Last[-1] == '0') --Last;
  if (Last > Buffer && Last[-1] == '.') --Last;
  Out.append(Buffer, Last);
}

std::string PageJSON(const TReadingPage& Page, std::string_view Label) {
  std::string Out;
  AppendPageJSON(Out, Page, Label);
  return Out;
}

void AppendPageJSON(std::string& Out, const TReadingPage& Page, std::string_view Label) {
  // About 150 bytes a word with its box, font and style.
  size_t Words = 0;
  for (const TReadingBlock& Block : Page.Blocks)
    for (const TReadingLine& Line : Block.Lines) Words += Line.Words.size() + 1;
  Out.reserve(Out.size() + 256 + 150 * Words);
  Out += "{\"number\":" + std::to_string(Page.Number) + ",\"width\":";
  AppendJSONNumber(Out, Page.Width);
  Out += ",\"height\":";
  AppendJSONNumber(Out, Page.Height);
  Out += ",\"rotation\":" + std::to_string(Page.Rotation);
  if (!Label.empty()) {
    Out += ",\"label\":";
    AppendJSONString(Out, Label);
  }
  Out += ",\"blocks\":[";
  bool First = true;
  for (const TReadingBlock& Block : Page.Blocks) {
    if (!First) Out += ',';
    First = false;
    Out += Block.Kind == TReadingBlockKind::Table ? "{\"kind\":\"table\"," : "{\"kind\":\"text\",";
    if (Block.Margin) Out += "\"margin\":true,";
    AppendBox(Out, Block.X0, Block.Y0, Block.X1, Block.Y1);
    Out += ',';
    if (Block.Kind == TReadingBlockKind::Table) {
      Out += "\"rows\":[";
      for (size_t R = 0; R < Block.Rows.size(); ++R) {
        if (R) Out += ',';
        Out += '[';
        for (size_t C = 0; C < Block.Rows[R].size(); ++C) {
          if (C) Out += ',';
          AppendJSONString(Out, Block.Rows[R][C]);
        }
        Out += ']';
      }
      Out += "],";
    }
    AppendLines(Out, Block.Lines);
    Out += '}';
  }
  Out += "]}";
}

std::string MetadataJSON(const TPDFMetadata& Metadata) {
  std::string Out = "{";
  const std::pair<const char*, const std::string*> Items[] = {
      {"title", &Metadata.Title},       {"author", &Metadata.Author},
      {"subject", &Metadata.Subject},   {"keywords", &Metadata.Keywords},
      {"creator", &Metadata.Creator},   {"producer", &Metadata.Producer},
      {"creation_date", &Metadata.CreationDate}, {"mod_date", &Metadata.ModDate},
  };
  for (const auto& [Key, Value] : Items) {
    if (Value->empty()) continue;
    AppendKey(Out, Key);
    AppendJSONString(Out, *Value);
    Out += ',';
  }
  AppendKey(Out, "version");
  AppendJSONString(Out, Metadata.Version);
  Out += Metadata.Tagged ? ",\"tagged\":true}" : ",\"tagged\":false}";
  return Out;
}

std::string TJSONDocument::Begin(std::string_view File) {
  FFirst = true;
  std::string Out = "{\"file\":";
  AppendJSONString(Out, File);
  Out += ",\"pages\":[";
  return Out;
}

std::string TJSONDocument::Page(const TReadingPage& Page, std::string_view Label) {
  std::string Out = FFirst ? "" : ",";
  FFirst = false;
  AppendPageJSON(Out, Page, Label);
  return Out;
}

std::string OutlineJSON(const std::vector<TPDFOutlineItem>& Outline) {
  std::string Out = "[";
  for (const TPDFOutlineItem& Item : Outline) {
    if (Out.size() > 1) Out += ',';
    Out += "{\"level\":" + std::to_string(Item.Level) + ",\"title\":";
    AppendJSONString(Out, Item.Title);
    Out += ",\"page\":" + std::to_string(Item.Page) + "}";
  }
  Out += ']';
  return Out;
}

std::string TJSONDocument::End(const TPDFMetadata& Metadata, const std::vector<TPDFOutlineItem>& Outline) {
  std::string Out = "]";
  if (!Outline.empty()) Out += ",\"outline\":" + OutlineJSON(Outline);
  return Out + ",\"metadata\":" + MetadataJSON(Metadata) + "}\n";
}

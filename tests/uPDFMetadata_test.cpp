// The document's metadata: text strings, dates, Info against XMP.
#include "uPDFMetadata.h"

#include <gtest/gtest.h>

#include "CodePage.h"
#include "TestPDFWriter.h"
#include "uPDFEngine.h"

namespace {

TEST(Metadata, TextStringsAsUTF8) {
  using namespace std::string_literals;  // the bytes hold NULs
  struct Case {
    std::string Bytes, Expected;
  } Cases[] = {
      {"Plain", "Plain"},
      {"\xFE\xFF\x00M\x00\xFC\x4E\x2D"s, "M\xC3\xBC\xE4\xB8\xAD"},  // UTF-16BE: M, u-umlaut, a CJK character
      {"\xFE\xFF\xD8\x3D\xDE\x00"s, "\xF0\x9F\x98\x80"},            // a surrogate pair
      {"\xFE\xFF\xDC\x00"s, "\xEF\xBF\xBD"},                        // a lone low surrogate
      {"\xEF\xBB\xBFUTF-8 \xE2\x82\xAC", "UTF-8 \xE2\x82\xAC"},    // UTF-8 with its mark
      {"\x80\xA0", "\xE2\x80\xA2\xE2\x82\xAC"},                    // PDFDocEncoding: bullet, euro
      {"a\x01" "b", "a b"},                                         // a control byte
      {"gi\xC3\xA0 \xE4\xB8\xAD", "gi\xC3\xA0 \xE4\xB8\xAD"},                // UTF-8 without its mark
      {"caf\xE9", "caf\xC3\xA9"},                                   // PDFDocEncoding that is no UTF-8
      {"\xC3\x80\xE9", "\xC3\x83\xE2\x80\xA2\xC3\xA9"},                // UTF-8 at first, not throughout
  };
  for (const Case& C : Cases) EXPECT_EQ(TextStringToUTF8(C.Bytes), C.Expected) << C.Bytes;
}

TEST(Metadata, DatesInISO8601) {
  struct Case {
    const char* Date;
    const char* Expected;
  } Cases[] = {
      {"D:20240305102030+01'00'", "2024-03-05T10:20:30+01:00"},
      {"D:20240305102030Z", "2024-03-05T10:20:30Z"},
      {"D:20240305102030-0530", "2024-03-05T10:20:30-05:30"},
      {"D:2024", "2024"},
      {"D:202403", "2024-03"},
      {"D:202403051020", "2024-03-05T10:20:00"},
      {"20240305", "2024-03-05"},
      {"yesterday", "yesterday"},
  };
  for (const Case& C : Cases) EXPECT_EQ(PDFDateToISO(C.Date), C.Expected) << C.Date;
}

std::string Document(const std::string& Info, const std::string& Packet, const std::string& CatalogExtra = "") {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R " + std::string(Packet.empty() ? "" : "/Metadata 5 0 R ") + CatalogExtra + " >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
  if (!Info.empty()) {
    W.Add(4, 0, Info);
    W.Section().Info = "4 0 R";
  }
  if (!Packet.empty()) W.AddStream(5, "/Type /Metadata /Subtype /XML", Packet, false);
  W.Section().Root = "1 0 R";
  return W.Finish();
}

TPDFMetadata Read(const std::string& Pdf) {
  TPDFEngine Engine(TCodePage::Create("UTF-8"));
  EXPECT_TRUE(Engine.LoadFromData(Pdf));
  return Engine.Metadata();
}

TEST(Metadata, InfoWinsOverXMPUnlessItIsEmpty) {
  const std::string Packet =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF><rdf:Description pdf:Producer='XMP &amp; Co'>"
      "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>XMP title</rdf:li><rdf:li xml:lang='de'>Titel</rdf:li>"
      "</rdf:Alt></dc:title><dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bo &#x4E2D;</rdf:li></rdf:Seq></dc:creator>"
      "<xmp:CreateDate>2020-01-02T03:04:05Z</xmp:CreateDate><dc:description><rdf:Alt><rdf:li>About</rdf:li></rdf:Alt>"
      "</dc:description></rdf:Description></rdf:RDF></x:xmpmeta>";
  const TPDFMetadata Both =
      Read(Document("<< /Title (Info title) /Author ( ) /CreationDate (D:19990101) /Producer <FEFF0058> >>", Packet,
                    "/MarkInfo << /Marked true >> /Version /1.7"));
  EXPECT_EQ(Both.Title, "Info title");
  EXPECT_EQ(Both.Author, "Ann; Bo \xE4\xB8\xAD");  // Info's is blank: XMP's list
  EXPECT_EQ(Both.Subject, "About");
  EXPECT_EQ(Both.Producer, "X");
  EXPECT_EQ(Both.CreationDate, "1999-01-01");
  EXPECT_TRUE(Both.Tagged);
  EXPECT_EQ(Both.Version, "1.7");  // the catalog's later version

  const TPDFMetadata XMP = Read(Document("", Packet));
  EXPECT_EQ(XMP.Title, "XMP title");  // the first of the alternatives
  EXPECT_EQ(XMP.Producer, "XMP & Co");
  EXPECT_EQ(XMP.CreationDate, "2020-01-02T03:04:05Z");
  EXPECT_FALSE(XMP.Tagged);
  EXPECT_EQ(XMP.Version, "1.4");

  const TPDFMetadata None = Read(Document("", ""));
  EXPECT_EQ(None.Title, "");
  EXPECT_EQ(None.ModDate, "");
  // A packet cut short or of no XML gives nothing, and no crash.
  for (const char* Broken : {"<dc:title><rdf:Alt><rdf:li>cut", "<dc:title", "pdf:Producer=\"open", "&#xFFFFFFFF;"})
    EXPECT_EQ(Read(Document("", Broken)).Title, "") << Broken;
}

}  // namespace

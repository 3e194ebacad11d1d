// A document's metadata: its Info dictionary and its XMP packet, as UTF-8,
// with dates in ISO 8601, its PDF version and whether it is tagged.
#pragma once

#include <string>
#include <string_view>

class TPDFDocument;

struct TPDFMetadata {
  // Empty where the document says nothing.
  std::string Title, Author, Subject, Keywords, Creator, Producer;
  // ISO 8601 ("2024-03-05T10:20:30+01:00", or as much of it as the date
  // gives), or the text as written when it is no date.
  std::string CreationDate, ModDate;
  // "1.7": the header's version, or the catalog's Version when later.
  std::string Version;
  // The catalog's MarkInfo says Marked true.
  bool Tagged = false;
};

// The metadata of Document: each item from the Info dictionary, or from the
// XMP packet of the catalog's Metadata when Info lacks it or it is empty.
// Strings of a protected document are read once its password is accepted.
TPDFMetadata ReadMetadata(TPDFDocument& Document);

// The text of the XMP property Name ("dc:title") in Packet: the items of its
// list (the first of an Alt; those of a Seq or Bag joined by "; "), its
// element's own text, or the attribute Name="..."; XML entities decoded.
// Empty when the packet does not hold it.
std::string XMPProperty(std::string_view Packet, std::string_view Name);

// A PDF text string (UTF-16BE or UTF-8 with their byte-order marks, else
// PDFDocEncoding) as UTF-8.
std::string TextStringToUTF8(std::string_view Bytes);

// "D:YYYYMMDDHHmmSSOHH'mm'" (every part after the year optional) as ISO
// 8601; the text as it is when it is no such date.
std::string PDFDateToISO(std::string_view Date);

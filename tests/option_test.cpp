// The settings: defaults, loading, saving and the page range reset.
#include "option.h"

#include <gtest/gtest.h>

#include "SettingsStore.h"

namespace {

TEST(TSettings, DefaultsOnFirstStart) {
  TMemorySettingsStore Store;
  TSettings S(Store);
  EXPECT_EQ(S.Range, TPageRange::All);
  EXPECT_EQ(S.Page, TPageChoice::Every);
  EXPECT_EQ(S.From, 1);
  EXPECT_EQ(S.To, 1);
  EXPECT_EQ(S.Header, "");
  EXPECT_EQ(S.Footer, " = Page &p =");
  EXPECT_EQ(S.TextType, TTextType::Reflow);
  EXPECT_EQ(S.Repair, 1);
  EXPECT_EQ(S.OCR, TPDFOCRMode::Auto);
  EXPECT_EQ(S.OCRLanguages, "");
  EXPECT_EQ(S.Format, TOutputFormat::Text);
  EXPECT_FALSE(Store.Values.has_value());  // loading writes nothing
}

TEST(TSettings, SaveWritesAllElevenAndLoadReadsThem) {
  TMemorySettingsStore Store;
  TSettings S(Store);
  S.Range = TPageRange::FromTo;
  S.Page = TPageChoice::Even;
  S.From = 4;
  S.To = 9;
  S.Header = "  Page &p of &a  ";
  S.Footer = "";
  S.TextType = TTextType::Positioned;
  S.Repair = 0;
  S.OCR = TPDFOCRMode::Always;
  S.OCRLanguages = "chi_sim";
  S.Format = TOutputFormat::Json;
  ASSERT_TRUE(S.Save());
  EXPECT_EQ(Store.Values->size(), 11u);
  EXPECT_EQ(Store.Values->at("Format"), "json");
  EXPECT_EQ(Store.Values->at("Repair"), "0");
  EXPECT_EQ(Store.Values->at("OCR"), "2");
  TSettings Again(Store);
  EXPECT_EQ(Again.Range, TPageRange::FromTo);
  EXPECT_EQ(Again.Page, TPageChoice::Even);
  EXPECT_EQ(Again.From, 4);
  EXPECT_EQ(Again.To, 9);
  EXPECT_EQ(Again.Header, "  Page &p of &a  ");
  EXPECT_EQ(Again.Footer, "");
  EXPECT_EQ(Again.TextType, TTextType::Positioned);
  EXPECT_EQ(Again.Repair, 0);
  EXPECT_EQ(Again.OCR, TPDFOCRMode::Always);
  EXPECT_EQ(Again.OCRLanguages, "chi_sim");
  EXPECT_EQ(Again.Format, TOutputFormat::Json);
}

TEST(TSettings, MissingAndMalformedValuesGiveDefaults) {
  TMemorySettingsStore Store;
  Store.Values = std::map<std::string, std::string>{
      {"Range", "abc"}, {"Page", "2"}, {"To", "99999999999"}, {"TextType", "263"}, {"Header", "h"}, {"Repair", "yes"},
      {"OCR", "3"}, {"Format", "JSON"}};
  TSettings S(Store);
  EXPECT_EQ(S.Range, TPageRange::All);
  EXPECT_EQ(S.Page, TPageChoice::Odd);
  EXPECT_EQ(S.From, 1);
  EXPECT_EQ(S.To, 1);
  EXPECT_EQ(static_cast<int>(S.TextType), 7);  // the low byte
  EXPECT_EQ(S.Header, "h");
  EXPECT_EQ(S.Footer, " = Page &p =");
  EXPECT_EQ(S.Repair, 1);
  EXPECT_EQ(S.OCR, TPDFOCRMode::Auto);  // out of range, with a warning
  EXPECT_EQ(S.Format, TOutputFormat::Text);  // names are exact, with a warning
  EXPECT_EQ(S.Warnings.size(), 2u);
}

TEST(TSettings, ResetRangeIsNotSaved) {
  TMemorySettingsStore Store;
  Store.Values = std::map<std::string, std::string>{{"From", "3"}, {"To", "5"}};
  TSettings S(Store);
  S.ResetRange(12);
  EXPECT_EQ(S.From, 1);
  EXPECT_EQ(S.To, 12);
  TSettings Stored(Store);
  EXPECT_EQ(Stored.From, 3);
  EXPECT_EQ(Stored.To, 5);
}

}  // namespace

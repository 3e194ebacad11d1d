// The names of layouts and output formats: one table for every host.
#include "Names.h"

#include <gtest/gtest.h>

namespace {

TEST(Names, LayoutsAndFormatsByName) {
  struct TCase {
    const char* Name;
    int Code;
  } Layouts[] = {{"content", 0}, {"reflow", 1}, {"positioned", 2}, {"reading", 3}};
  for (const TCase& C : Layouts) {
    const std::optional<TTextType> Layout = LayoutFromName(C.Name);
    ASSERT_TRUE(Layout) << C.Name;
    EXPECT_EQ(static_cast<int>(*Layout), C.Code) << C.Name;  // the stored number
    EXPECT_STREQ(NameOf(*Layout), C.Name);
  }
  for (const char* Wrong : {"", "Reflow", "reflow ", "text", "3"}) EXPECT_FALSE(LayoutFromName(Wrong)) << Wrong;
  EXPECT_STREQ(NameOf(static_cast<TTextType>(9)), "");  // a stored number without a layout
  ASSERT_TRUE(FormatFromName("text"));
  EXPECT_EQ(*FormatFromName("text"), TOutputFormat::Text);
  EXPECT_STREQ(FormatSuffix(TOutputFormat::Text), ".txt");
  EXPECT_EQ(FormatFromName("plain"), TOutputFormat::Plain);
  EXPECT_FALSE(FormatFromName("reflow"));
  EXPECT_EQ(NamesForMessage(LayoutNameList()), "content, reflow, positioned or reading");
  EXPECT_EQ(NamesForMessage({"text"}, "\""), "\"text\"");
}

}  // namespace

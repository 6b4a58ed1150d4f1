#include <gtest/gtest.h>

#include "TextFormat.h"

namespace {

using sendrel::FormatMessage;
using sendrel::SizeText;

TEST(SizeText, ThresholdsAndUnits) {
  EXPECT_EQ(SizeText(0), "0b");
  EXPECT_EQ(SizeText(1024), "1024b");
  EXPECT_EQ(SizeText(1025), "1K");
  EXPECT_EQ(SizeText(1048576), "1024K");
  EXPECT_EQ(SizeText(1048577), "1M");
  // Totals of 2 GiB and more stay positive.
  EXPECT_EQ(SizeText(5LL << 30), "5120M");
}

TEST(FormatMessage, FillsMatchingConversions) {
  EXPECT_EQ(FormatMessage("Send %d file(s) (%s) to:", {2LL, "1K"}, "x"), "Send 2 file(s) (1K) to:");
  EXPECT_EQ(FormatMessage("%i|%-4s|%3u|100%%", {7LL, "ab", 5LL}, "x"), "7|ab  |  5|100%");
  EXPECT_EQ(FormatMessage("Invalid: %s", {"1:2:3"}, "x"), "Invalid: 1:2:3");
}

// A language file can never make the plug-in read arguments it does not
// have: such a text is replaced by the fallback.
TEST(FormatMessage, DistrustsFormatsThatDoNotMatch) {
  EXPECT_EQ(FormatMessage("%s files, %d", {2LL, "1K"}, "%d: %s"), "2: 1K");
  EXPECT_EQ(FormatMessage("%d %s %s", {2LL, "1K"}, "%d: %s"), "2: 1K");
  EXPECT_EQ(FormatMessage("%d only", {2LL, "1K"}, "%d: %s"), "2: 1K");
  EXPECT_EQ(FormatMessage("%n%x%p", {"a"}, "[%s]"), "[a]");
  EXPECT_EQ(FormatMessage("bad at end %", {"a"}, "[%s]"), "[a]");
  EXPECT_EQ(FormatMessage("%99999s", {"a"}, "[%s]"), "[a]");
  EXPECT_EQ(FormatMessage("%d", {"a"}, "broken fallback %d"), "broken fallback %d");
}

// A dialog text cut to fit: in UTF-8 (far2l) never inside a character, in a
// one-byte code page (FAR on Windows) at the very byte.
TEST(FittingLength, CutsUtf8AtCharacterBoundaries) {
  using sendrel::FittingLength;
  const std::string ru = "\xd0\x9e\xd1\x82\xd0\xbc";  // "Отм", two bytes a letter
  EXPECT_EQ(FittingLength(ru, 6, true), 6u);
  EXPECT_EQ(FittingLength(ru, 5, true), 4u);
  EXPECT_EQ(FittingLength(ru, 4, true), 4u);
  EXPECT_EQ(FittingLength(ru, 1, true), 0u);
  EXPECT_EQ(FittingLength("ab\xe2\x95\x90", 4, true), 2u);  // a three-byte character
  EXPECT_EQ(FittingLength(ru, 5, false), 5u);
  EXPECT_EQ(FittingLength("plain", 3, true), 3u);
}

// A system text in a warning: its line breaks start lines (the host would
// show them as junk), long lines wrap at blanks, a word longer than a line
// is cut, and a UTF-8 line is measured in characters.
TEST(WrappedLines, SplitsAtBreaksAndWrapsAtBlanks) {
  using sendrel::WrappedLines;
  using Lines = std::vector<std::string>;
  struct Row {
    Lines in;
    std::size_t width;
    bool utf8;
    Lines out;
  };
  const std::vector<Row> rows = {
      {{"Win32 Error.  Code: 32.\r\nThe file is in use.\r\n"},
       40,
       false,
       {"Win32 Error.  Code: 32.", "The file is in use."}},
      {{"one two three four"}, 9, false, {"one two", "three", "four"}},
      {{"abcdefghij"}, 4, false, {"abcd", "efgh", "ij"}},
      {{"\xd0\x9e\xd1\x82 \xd0\xbc\xd0\xb5"}, 3, true, {"\xd0\x9e\xd1\x82", "\xd0\xbc\xd0\xb5"}},
      {{"a", "", "b\n\nc"}, 10, false, {"a", "b", "c"}},
  };
  for (const Row& row : rows) EXPECT_EQ(WrappedLines(row.in, row.width, row.utf8), row.out);
}

TEST(TrimmedText, DropsPastedBlanks) {
  EXPECT_EQ(sendrel::TrimmedText(" \t2:5020/1234 "), "2:5020/1234");
  EXPECT_EQ(sendrel::TrimmedText("  "), "");
  EXPECT_EQ(sendrel::TrimmedText("2:5020/1 2"), "2:5020/1 2");
}

}  // namespace

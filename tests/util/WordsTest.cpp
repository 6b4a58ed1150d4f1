#include "util/Words.h"

#include <gtest/gtest.h>

#include <string>

namespace brnet {
namespace {

const TCharSet kBlank = MakeCharSet(" ");

TEST(Words, CountAndPickRuns) {
  const std::string s = "  alpha  beta gamma   ";
  EXPECT_EQ(CountWords(s, kBlank), 3);
  EXPECT_EQ(CountWords("   ", kBlank), 0);
  EXPECT_EQ(CountWords("", kBlank), 0);
  EXPECT_EQ(WordStartPos(1, s, kBlank), 3u);
  EXPECT_EQ(WordStartPos(2, s, kBlank), 10u);
  EXPECT_EQ(GetWord(2, s, kBlank), "beta");
  EXPECT_EQ(GetWord(3, s, kBlank), "gamma");
  EXPECT_EQ(GetWord(5, s, kBlank), "");
  EXPECT_EQ(WordStartPos(5, s, kBlank), 0u);
  EXPECT_EQ(WordStartPos(0, s, kBlank), 0u);
  EXPECT_EQ(WordStartPos(-1, s, kBlank), 0u);
  // Several delimiters, and bytes above 127 as ordinary characters.
  const TCharSet seps = MakeCharSet("\\/");
  EXPECT_EQ(CountWords("C:\\a//\xE4x\\", seps), 3);
  EXPECT_EQ(GetWord(3, "C:\\a//\xE4x\\", seps), "\xE4x");
}

TEST(Fields, SplitOffField) {
  std::string s = "2.5020.1.0";
  EXPECT_EQ(SplitOffFieldSkip(s, '.'), "2");
  EXPECT_EQ(SplitOffFieldSkip(s, '.'), "5020");
  EXPECT_EQ(SplitOffFieldSkip(s, '.'), "1");
  EXPECT_EQ(s, "0");
  s = "ab ,  \tcd";
  EXPECT_EQ(SplitOffField(s, ','), "ab ");
  EXPECT_EQ(s, ",  \tcd");
  EXPECT_EQ(SplitOffFieldSkip(s, ','), "");
  EXPECT_EQ(s, "  \tcd");
  EXPECT_EQ(SplitOffField(s, ','), "  \tcd");
  EXPECT_EQ(s, "");
  // A blank separator goes with the leading blanks; the next field stays whole.
  s = "one  two three";
  EXPECT_EQ(SplitOffFieldSkip(s, ' '), "one");
  EXPECT_EQ(SplitOffFieldSkip(s, ' '), "two");
  EXPECT_EQ(s, "three");
}

TEST(Words, EscapeLineBreaksKeepsTextOnOneLine) {
  EXPECT_EQ(EscapeLineBreaks("a\r\nb\nc\r"), "a\\r\\nb\\nc\\r");
  EXPECT_EQ(EscapeLineBreaks("C:\\OUT\\r.flo"), "C:\\OUT\\r.flo") << "a backslash stays as it is";
  EXPECT_EQ(EscapeLineBreaks(""), "");
}

}  // namespace
}  // namespace brnet

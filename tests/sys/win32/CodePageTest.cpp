// ANSI <-> OEM through CharToOemBuffA / OemToCharBuffA.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "sys/CodePage.h"

namespace brnet::sys {
namespace {

using namespace std::string_literals;

// Whatever the code pages: the length stays, NUL bytes and ASCII pass.
TEST(Win32CodePage, ConversionKeepsLengthNulsAndAscii) {
  const std::string text = "From: A\0B \xC4\xE4\xF6 end"s;
  const std::string oem = AnsiToOemText(text);
  ASSERT_EQ(oem.size(), text.size());
  EXPECT_EQ(oem.substr(0, 9), "From: A\0B"s);
  EXPECT_EQ(oem.substr(oem.size() - 4), " end");
  EXPECT_EQ(OemToAnsiText(oem).size(), text.size());
  EXPECT_EQ(AnsiToOemText(""), "");
  EXPECT_EQ(OemToAnsiText(""), "");
}

// Run with LC_ALL=ru_RU.UTF-8 (registered so by CMake): CP1251 <-> CP866.
TEST(OemRu, Cp1251AndCp866) {
  ASSERT_EQ(::GetACP(), 1251u);
  ASSERT_EQ(::GetOEMCP(), 866u);
  const std::string ansi = "\xCF\xF0\xE8\xE2\xE5\xF2 \xB8\xA8\xB9";  // "Привет ёЁ№"
  const std::string oem = "\x8F\xE0\xA8\xA2\xA5\xE2 \xF1\xF0\xFC";
  EXPECT_EQ(AnsiToOemText(ansi), oem);
  EXPECT_EQ(OemToAnsiText(oem), ansi);
}

}  // namespace
}  // namespace brnet::sys

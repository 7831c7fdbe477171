// The shared rules of text: names the same with the ASCII letters' case
// ignored and nothing else folded, wildcards over UTF-8 (a `?` is one
// character, a `*` gives back whole characters), the conventions' names, and
// Pascal literals of quoted runs and #N codes.
#include <gtest/gtest.h>

#include <utility>

#include "DCU_TextRules.h"

TEST(TextRules, NamesTheSameOnlyByTheAsciiLetters) {
  EXPECT_TRUE(SameNameNoCase("TList.Get", "tlist.GET"));
  EXPECT_FALSE(SameNameNoCase("TList", "TLists"));
  EXPECT_FALSE(SameNameNoCase("\xC9t\xE9", "\xE9t\xE9"));  // 8-bit letters are not folded
  EXPECT_FALSE(SameNameNoCase("[", "{"));                  // nor the bytes beside the letters
}

TEST(TextRules, WildcardsOverUtf8) {
  EXPECT_TRUE(WildcardMatch("t*", "TFoo"));
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_TRUE(WildcardMatch("*foo*", "tFOObar"));
  EXPECT_TRUE(WildcardMatch("*.Create", "TForm1.Create"));
  EXPECT_FALSE(WildcardMatch("*.Create", "TForm1.Created"));
  EXPECT_TRUE(WildcardMatch("t?o", "t\xC3\xA9o"));    // é is one character
  EXPECT_FALSE(WildcardMatch("t??o", "t\xC3\xA9o"));
  EXPECT_TRUE(WildcardMatch("*?\xC3\xA9", "a\xC3\xA9\xC3\xA9"));
  EXPECT_FALSE(WildcardMatch("*??\xC3\xA9", "\xC3\xA9\xC3\xA9"));  // the star gives back whole characters
  EXPECT_TRUE(WildcardMatch("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(WildcardMatch("a*b*c", "aXbYbZ"));
}

TEST(TextRules, ConventionsAndLiterals) {
  EXPECT_EQ(CallConvName(0), "register");
  EXPECT_EQ(CallConvName(3), "stdcall");
  EXPECT_EQ(CallConvName(5), "");
  auto Plain = [](std::string_view S) {
    return PascalLiteral(S.size(), [&](size_t I) {
      const auto C = static_cast<unsigned char>(S[I]);
      return std::pair<bool, uint32_t>(C >= 0x20, C);
    });
  };
  EXPECT_EQ(Plain(""), "''");
  EXPECT_EQ(Plain("It's"), "'It''s'");
  EXPECT_EQ(Plain("a\r\nb"), "'a'#13#10'b'");
  EXPECT_EQ(Plain("\r"), "#13");
  EXPECT_EQ(PascalLiteral(1, [](size_t) { return std::pair<bool, uint32_t>(true, 0xE9); }), "'\xC3\xA9'");
}

// Texts with marked runs: the spans a text keeps through growth, copies,
// moves and appends, a text that keeps none, and a plain line.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "DeclText.h"

namespace {

std::vector<std::string> Marked(const TDeclText& T) {
  std::vector<std::string> Out;
  for (const TDeclSpan& S : T.Spans)
    Out.push_back(T.Text.substr(S.Start, S.Len) + "@" + std::to_string(S.Anchor) + "/" +
                  std::to_string(static_cast<int>(S.Kind)));
  return Out;
}

TEST(DeclText, SpansGrowAndAreCopiedMovedAndAppendedWithTheirText) {
  TDeclText T;
  std::vector<std::string> Expected;
  for (int I = 0; I < 37; ++I) {  // past several growths of the block
    T.Plain(" ");
    const std::string Word = "w" + std::to_string(I);
    T.Add(TDeclRunKind::TypeRef, Word, I % 3 ? I * 1000 : NoAnchor);
    Expected.push_back(Word + "@" + std::to_string(I % 3 ? I * 1000 : NoAnchor) + "/4");
  }
  ASSERT_EQ(Marked(T), Expected);
  EXPECT_EQ(T.Spans.size(), 37u);
  EXPECT_EQ(T.Spans[36].Start, T.Text.size() - 3);

  TDeclText Copy = T;
  EXPECT_EQ(Marked(Copy), Expected);
  EXPECT_NE(Copy.Spans.begin(), T.Spans.begin());
  Copy.Keyword("end");
  EXPECT_EQ(T.Spans.size(), 37u);
  Copy = Copy;  // over itself
  EXPECT_EQ(Copy.Spans.size(), 38u);
  Copy = T;  // over a block of its own
  EXPECT_EQ(Marked(Copy), Expected);

  TDeclText Moved = std::move(Copy);
  EXPECT_EQ(Marked(Moved), Expected);
  EXPECT_TRUE(Copy.Spans.empty() && Copy.KeepSpans());  // NOLINT(bugprone-use-after-move)
  Copy.Comment("{c}");
  EXPECT_EQ(Copy.Spans.size(), 1u);

  TDeclText Head;
  Head.Keyword("array");
  Head.Plain(" of");
  Head.Append(Moved);
  ASSERT_EQ(Head.Spans.size(), 38u);
  EXPECT_EQ(Head.Text.substr(Head.Spans[1].Start, Head.Spans[1].Len), "w0");
  EXPECT_EQ(Head.Text.substr(Head.Spans[37].Start, Head.Spans[37].Len), "w36");
}

TEST(DeclText, ATextThatKeepsNoSpansKeepsItsWordsAloneAndSaysSoThroughCopies) {
  TDeclText T;
  T.SetKeepSpans(false);
  T.Keyword("set");
  T.Plain(" of ");
  T.Add(TDeclRunKind::TypeRef, "TColor", 42);
  EXPECT_EQ(T.Text, "set of TColor");
  EXPECT_TRUE(T.Spans.empty());
  EXPECT_EQ(T.Spans.begin(), T.Spans.end());
  const TDeclText Copy = T;
  EXPECT_FALSE(Copy.KeepSpans());
  TDeclText Moved = std::move(T);
  EXPECT_FALSE(Moved.KeepSpans());
  EXPECT_FALSE(T.KeepSpans());  // NOLINT(bugprone-use-after-move)

  TDeclText Kept;
  Kept.Keyword("file");
  Moved.Append(Kept);  // appended spans are dropped too
  EXPECT_TRUE(Moved.Spans.empty());
  Kept.Append(Copy);
  EXPECT_EQ(Kept.Text, "fileset of TColor");
  EXPECT_EQ(Kept.Spans.size(), 1u);
  Kept.SetKeepSpans(false);
  Kept.SetKeepSpans(true);  // the flag leaves the spans held alone
  EXPECT_EQ(Kept.Spans.size(), 1u);
  EXPECT_EQ(Kept.Spans[0].Kind, TDeclRunKind::Keyword);
}

// A plain line copies pieces of every length (those to sixteen bytes in
// overlapping words) and grows past its first room, the same text as a
// TDeclText without spans, line after line in one buffer.
TEST(DeclText, APlainLineHoldsWhatATextWithoutSpansHolds) {
  TPlainLine Line;
  std::string Alphabet;
  for (int I = 0; I < 40; ++I) Alphabet += static_cast<char>('A' + I % 26) + std::string(I % 7 == 0 ? "\xE9" : "");
  for (int Round = 0; Round < 2; ++Round) {
    Line.Clear();
    TDeclText Text;
    Text.SetKeepSpans(false);
    for (int Times = 0; Times < 3; ++Times)  // 3 * 820 bytes: past 1024, then 2048
      for (size_t N = 0; N <= 40; ++N) {
        const std::string_view Piece = std::string_view(Alphabet).substr(0, N);
        Line.Plain(Piece);
        Text.Add(TDeclRunKind::NameDef, Piece, 7);
      }
    Line.Append(Text);
    Text.Append(Text);
    ASSERT_EQ(Line.View(), Text.Text.view()) << "round " << Round;
  }
}

}  // namespace

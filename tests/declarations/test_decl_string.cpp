// The outline's strings: the same bytes as a std::string through the edge
// between the object and the heap, appends of their own bytes, buffers
// cleared and filled again, copies, moves and ordering.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "DeclString.h"

namespace {

std::string Pattern(size_t N) {
  std::string S;
  for (size_t I = 0; I < N; ++I) S += static_cast<char>('a' + I % 26);
  return S;
}

TEST(DeclString, HoldsTheBytesOnEitherSideOfTheObjectsRoom) {
  for (size_t N : {0u, 1u, 14u, 15u, 16u, 17u, 31u, 100u, 5000u}) {
    const std::string Want = Pattern(N);
    const TDeclString S(Want);
    EXPECT_EQ(S.view(), Want) << N;
    EXPECT_EQ(S.size(), N);
    EXPECT_EQ(S.empty(), N == 0);

    TDeclString Copy(S);
    EXPECT_EQ(Copy.view(), Want);
    TDeclString Moved(std::move(Copy));
    EXPECT_EQ(Moved.view(), Want);
    EXPECT_TRUE(Copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from string is empty

    // Assigned over strings of every other length, both ways.
    for (size_t M : {0u, 15u, 16u, 40u}) {
      TDeclString T(Pattern(M));
      T = S;
      EXPECT_EQ(T.view(), Want) << N << " over " << M;
      TDeclString U(Pattern(M));
      U = TDeclString(Want);
      EXPECT_EQ(U.view(), Want) << N << " over " << M;
      TDeclString V(Pattern(M));
      V = std::string_view(Want);
      EXPECT_EQ(V.view(), Want) << N << " over " << M;
    }
    TDeclString Self(Want);
    Self = static_cast<const TDeclString&>(Self);
    EXPECT_EQ(Self.view(), Want);
  }
}

TEST(DeclString, AppendsGrowLikeAStdStringAndMayTakeTheirOwnBytes) {
  TDeclString S;
  std::string Want;
  for (int I = 0; I < 200; ++I) {
    const std::string Piece = std::to_string(I) + (I % 7 ? "," : ";;;;;;;;;;;;;;;;;;");
    S += Piece;
    Want += Piece;
    if (I % 13 == 0) {
      S += 'x';
      Want += 'x';
    }
    ASSERT_EQ(S.view(), Want) << I;
  }
  // The string's own bytes appended, inline, at the step to the heap and on
  // the heap when it must grow: the bytes are read before the old room goes.
  for (size_t N : {3u, 8u, 12u, 40u, 64u}) {
    TDeclString T(Pattern(N));
    std::string W = Pattern(N);
    T.append(T.view());
    W += W;
    EXPECT_EQ(T.view(), W) << N;
    T.append(T.view().substr(1, 5));
    W += W.substr(1, 5);
    EXPECT_EQ(T.view(), W) << N;
  }
}

TEST(DeclString, ACleanedBufferIsFilledAgainWithNothingOfItsOldBytes) {
  TDeclString Line;
  for (size_t N : {40u, 3u, 0u, 100u, 20u, 15u, 16u}) {
    Line.clear();
    EXPECT_TRUE(Line.empty());
    const std::string Want = Pattern(N);
    Line += Want.substr(0, N / 2);
    Line += Want.substr(N / 2);
    EXPECT_EQ(Line.view(), Want) << N;
  }
  // A string assigned a part of itself while on the heap.
  TDeclString S(Pattern(50));
  S = std::string_view(S.view().substr(10, 30));
  EXPECT_EQ(S.view(), Pattern(50).substr(10, 30));
  S = std::string_view(S.view().substr(2, 5));
  EXPECT_EQ(S.view(), Pattern(50).substr(12, 5));
}

TEST(DeclString, ComparesAndSortsAsItsBytes) {
  std::vector<std::string> Words = {"TForm1", "", "TForm", "a", "Z", Pattern(16), Pattern(15), Pattern(40), "TForm10"};
  std::vector<TDeclString> Ours;
  for (const std::string& W : Words) Ours.emplace_back(W);
  std::sort(Words.begin(), Words.end());
  std::sort(Ours.begin(), Ours.end());
  for (size_t I = 0; I < Words.size(); ++I) EXPECT_EQ(Ours[I], Words[I]) << I;
  EXPECT_EQ(TDeclString("abc"), "abc");
  EXPECT_NE(TDeclString("abc"), "abcd");
  EXPECT_NE(TDeclString(Pattern(16)), Pattern(17));
  EXPECT_LT(TDeclString(Pattern(16)), TDeclString(Pattern(17)));
  EXPECT_EQ("x" + TDeclString("y") + "z", "xyz");
}

}  // namespace

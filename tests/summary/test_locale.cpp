// What the summary takes from the user's locale, and the platform layer
// under it: the C locale's dates, times and name order as the summary writes
// them itself, the POSIX implementation of the locale services, UTF-8 and
// wide text, time patterns without their zone, paths joined as given.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

#include "Platform.h"
#include "PlatformText.h"
#include "UnitSummary.h"

namespace {

// The C library's locale of a test, restored afterwards.
class TLocale {
 public:
  explicit TLocale(const char* Name) : Old(std::setlocale(LC_ALL, nullptr)) { Set = std::setlocale(LC_ALL, Name); }
  ~TLocale() { std::setlocale(LC_ALL, Old.c_str()); }
  bool Ok() const { return Set != nullptr; }

 private:
  std::string Old;
  const char* Set = nullptr;
};

TSourceDate Date(int Y, int Mo, int D, int H, int Mi, int S) {
  TSourceDate T;
  T.State = TSourceDate::Valid;
  T.Year = Y, T.Month = Mo, T.Day = D, T.Hour = H, T.Minute = Mi, T.Second = S;
  return T;
}

std::vector<std::string> Sorted(std::vector<std::string> Names) {
  std::sort(Names.begin(), Names.end(),
            [](const std::string& A, const std::string& B) { return CompareNamesLocale(A, B) < 0; });
  return Names;
}

}  // namespace

TEST(LocaleC, StampsAsTheCLocaleWritesThemInCAndCUtf8) {
  for (const char* Name : {"C", "POSIX", "C.UTF-8"}) {
    TLocale L(Name);
    if (!L.Ok()) continue;
    EXPECT_TRUE(UserLocaleIsC()) << Name;
    EXPECT_EQ(FormatFileStamp(Date(2005, 9, 20, 16, 15, 40)), "20 Sep 2005 16:15:40") << Name;
    // Day without a leading zero, the time left out at midnight only.
    EXPECT_EQ(FormatFileStamp(Date(2004, 3, 5, 0, 0, 0)), "5 Mar 2004");
    EXPECT_EQ(FormatFileStamp(Date(2004, 12, 31, 0, 0, 1)), "31 Dec 2004 00:00:01");
    EXPECT_EQ(FormatFileStamp(Date(1980, 1, 1, 9, 5, 0)), "1 Jan 1980 09:05:00");
    EXPECT_EQ(FormatFileStamp(100, 0), "1 Jan 1970");
  }
}

TEST(LocaleC, NamesInCodePointOrderOfTheirLowerCase) {
  TLocale L("C");
  // Windows-1252 letters as display text: upper case folds to lower, then
  // code points decide (so every accented letter after z).
  EXPECT_EQ(Sorted({"zlib", "\xC3\x84pfel", "apfel", "Windows", "SysUtils", "_Init"}),
            (std::vector<std::string>{"_Init", "apfel", "SysUtils", "Windows", "zlib", "\xC3\x84pfel"}));
  EXPECT_EQ(CompareNamesLocale("\xC3\x84PFEL", "\xC3\xA4pfel"), 0);              // Ä, ä
  EXPECT_EQ(CompareNamesLocale("\xC5\xA0koda", "\xC5\xA1KODA"), 0);              // Š, š
  EXPECT_EQ(CompareNamesLocale("\xC5\xB8", "\xC3\xBF"), 0);                      // Ÿ, ÿ
  EXPECT_EQ(CompareNamesLocale("\xC5\x92uvre", "\xC5\x93UVRE"), 0);              // Œ, œ
  EXPECT_EQ(CompareNamesLocale("\xC5\xBD", "\xC5\xBE"), 0);                      // Ž, ž
  EXPECT_LT(CompareNamesLocale("\xC3\x97", "\xC3\xB7"), 0);                      // × is no letter
  EXPECT_LT(CompareNamesLocale("ab", "ABC"), 0);
  EXPECT_GT(CompareNamesLocale("b", "ABC"), 0);
  EXPECT_EQ(CompareNamesLocale("", ""), 0);
  EXPECT_LT(CompareNamesLocale("^@", "a"), 0);
}

TEST(LocalePosix, TheCLibrarysFormatsAndCollation) {
  TLocale L("C");
  // The C library's own patterns of the C locale (%m/%d/%y, %H:%M:%S).
  EXPECT_EQ(UserShortDate(2004, 3, 5), "03/05/04");
  EXPECT_EQ(UserLongTime(16, 15, 40), "16:15:40");
  EXPECT_EQ(UserCompareNoCase("Windows", "windows"), 0);
  EXPECT_LT(UserCompareNoCase("apfel", "Birne"), 0);
  EXPECT_GT(UserCompareNoCase("zlib", "SysUtils"), 0);
}

TEST(PlatformText, Utf8AndWideTextBothWays) {
  const std::string Text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  const std::wstring W = Utf8ToWide(Text);
  EXPECT_EQ(W.size(), sizeof(wchar_t) == 2 ? 6u : 5u);
  EXPECT_EQ(WideToUtf8(W), Text);
  // Bytes that start no valid sequence, overlong forms and surrogates.
  EXPECT_EQ(WideToUtf8(Utf8ToWide("x\xFFy")), "x\xEF\xBF\xBDy");
  EXPECT_EQ(WideToUtf8(Utf8ToWide("\xC0\xAF")), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(WideToUtf8(Utf8ToWide("\xED\xA0\x80")), "\xEF\xBF\xBD");
  EXPECT_EQ(WideToUtf8(Utf8ToWide("\xE2\x82")), "\xEF\xBF\xBD\xEF\xBF\xBD");  // cut short
  // Lead bytes of no sequence (0xF5 up, continuation bytes) stand alone.
  const std::string Bad = "\xEF\xBF\xBD";
  EXPECT_EQ(WideToUtf8(Utf8ToWide("\xF8\x88\x80\x80\x80")), Bad + Bad + Bad + Bad + Bad);
  EXPECT_EQ(WideToUtf8(Utf8ToWide("\xF4\x90\x80\x80")), Bad);  // past U+10FFFF
  EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(PlatformText, WeekDaysAndTimePatternsWithoutZones) {
  EXPECT_EQ(WeekDay(1970, 1, 1), 4);  // Thursday
  EXPECT_EQ(WeekDay(2000, 2, 29), 2);
  EXPECT_EQ(WeekDay(2004, 3, 5), 5);
  EXPECT_EQ(WeekDay(2026, 12, 10), 4);
  EXPECT_EQ(WithoutZoneFields(L"%H:%M:%S %Z"), L"%H:%M:%S");
  EXPECT_EQ(WithoutZoneFields(L"%Z %H:%M"), L"%H:%M");
  EXPECT_EQ(WithoutZoneFields(L"%I:%M %z %p"), L"%I:%M %p");
  EXPECT_EQ(WithoutZoneFields(L"%%Z %T"), L"%%Z %T");  // a percent sign, then Z
  EXPECT_EQ(WithoutZoneFields(L"%r"), L"%r");
}

TEST(PlatformPaths, JoinedAndConvertedAsGivenOnPosix) {
  EXPECT_EQ(JoinFolderPath(".", "A.dcu"), "./A.dcu");
  EXPECT_EQ(JoinFolderPath("units/", "A.dcu"), "units/A.dcu");
  EXPECT_EQ(JoinFolderPath("a\\b", "A.dcu"), "a\\b/A.dcu");  // '\' is a letter here
  const std::string Name = "Gr\xC3\xBC\xC3\x9F" "e.dcu";
  EXPECT_EQ(PathToUtf8(PathFromUtf8(Name)), Name);
  EXPECT_FALSE(FileNamesIgnoreCase());
  EXPECT_TRUE(FolderNames("/nonexistent/folder").empty());
}

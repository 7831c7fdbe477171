// The platform layer on POSIX systems (see Platform.h): the C library's
// locale, as the program sets it from the environment at start; file names
// are bytes.
#include <dirent.h>
#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <ctime>

#include "Platform.h"
#include "PlatformText.h"

namespace {

bool IsCName(const char* Name) {
  if (!Name) return true;
  return std::strcmp(Name, "C") == 0 || std::strcmp(Name, "POSIX") == 0 || std::strncmp(Name, "C.", 2) == 0;
}

// Format (a wcsftime pattern) applied to T, as UTF-8.
std::string FormatTime(const std::wstring& Format, const std::tm& T) {
  wchar_t Buf[256];
  const size_t N = std::wcsftime(Buf, sizeof Buf / sizeof Buf[0], Format.c_str(), &T);
  return WideToUtf8(std::wstring_view(Buf, N));
}

// The locale's pattern of Item (D_FMT, T_FMT) as a wide string.
std::wstring LocalePattern(nl_item Item) {
  std::wstring W;
  for (const char* P = nl_langinfo(Item); *P; ++P) W += static_cast<wchar_t>(static_cast<unsigned char>(*P));
  return W;
}

std::wstring LowerWide(std::string_view Utf8) {
  std::wstring W = Utf8ToWide(Utf8);
  for (wchar_t& C : W) C = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(C)));
  return W;
}

}  // namespace

bool UserLocaleIsC() { return IsCName(std::setlocale(LC_TIME, nullptr)); }

std::string UserShortDate(int Year, int Month, int Day) {
  std::tm T{};
  T.tm_year = Year - 1900;
  T.tm_mon = Month - 1;
  T.tm_mday = Day;
  T.tm_wday = WeekDay(Year, Month, Day);
  return FormatTime(LocalePattern(D_FMT), T);
}

std::string UserLongTime(int Hour, int Minute, int Second) {
  std::tm T{};
  T.tm_year = 70;
  T.tm_mday = 1;
  T.tm_hour = Hour;
  T.tm_min = Minute;
  T.tm_sec = Second;
  return FormatTime(WithoutZoneFields(LocalePattern(T_FMT)), T);
}

int UserCompareNoCase(std::string_view A, std::string_view B) {
  const int C = std::wcscoll(LowerWide(A).c_str(), LowerWide(B).c_str());
  return C < 0 ? -1 : C > 0 ? 1 : 0;
}

std::filesystem::path PathFromUtf8(std::string_view Utf8) { return std::filesystem::path(std::string(Utf8)); }

std::string PathToUtf8(const std::filesystem::path& P) { return P.native(); }

std::string JoinFolderPath(const std::string& Folder, const std::string& Name) {
  return (std::filesystem::path(Folder) / Name).string();
}

bool FileNamesIgnoreCase() { return false; }

// readdir: a folder of thousands of names is read many times faster than
// through std::filesystem.
std::vector<std::string> FolderNames(const std::filesystem::path& Folder) {
  std::vector<std::string> Names;
  if (DIR* D = opendir(Folder.c_str())) {
    while (const dirent* E = readdir(D)) {
      const std::string_view Name(E->d_name);
      if (Name != "." && Name != "..") Names.emplace_back(Name);
    }
    closedir(D);
  }
  return Names;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void SetUpUserLocale() {
  const char* Name = std::setlocale(LC_ALL, "");
  if (!Name || std::strcmp(Name, "C") == 0 || std::strcmp(Name, "POSIX") == 0) return;
  const char* Codeset = nl_langinfo(CODESET);
  if (std::strcmp(Codeset, "UTF-8") == 0 || std::strcmp(Codeset, "utf8") == 0) return;
  std::string Ctype = std::setlocale(LC_CTYPE, nullptr);
  Ctype = Ctype.substr(0, Ctype.find_first_of(".@")) + ".UTF-8";
  if (!std::setlocale(LC_CTYPE, Ctype.c_str()) && !std::setlocale(LC_CTYPE, "C.UTF-8"))
    std::setlocale(LC_CTYPE, "C.utf8");
}

void SetUpStandardOutput() {}

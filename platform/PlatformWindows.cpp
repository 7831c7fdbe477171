// The platform layer on Windows (see Platform.h): the user's locale through
// the system's national language functions, file names as UTF-16 converted
// from and to UTF-8, standard output in binary mode.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Platform.h"
#include "PlatformText.h"

namespace {

bool IsCName(const char* Name) {
  return std::strcmp(Name, "C") == 0 || std::strcmp(Name, "POSIX") == 0 || std::strncmp(Name, "C.", 2) == 0;
}

SYSTEMTIME SystemTimeOf(int Year, int Month, int Day, int Hour, int Minute, int Second) {
  SYSTEMTIME T{};
  T.wYear = static_cast<WORD>(Year);
  T.wMonth = static_cast<WORD>(Month);
  T.wDay = static_cast<WORD>(Day);
  T.wDayOfWeek = static_cast<WORD>(WeekDay(Year, Month, Day));
  T.wHour = static_cast<WORD>(Hour);
  T.wMinute = static_cast<WORD>(Minute);
  T.wSecond = static_cast<WORD>(Second);
  return T;
}

}  // namespace

bool UserLocaleIsC() {
  for (const char* Var : {"LC_ALL", "LANG"}) {
    const char* V = std::getenv(Var);
    if (V && *V) return IsCName(V);
  }
  return false;
}

std::string UserShortDate(int Year, int Month, int Day) {
  const SYSTEMTIME T = SystemTimeOf(Year, Month, Day, 0, 0, 0);
  wchar_t Buf[128];
  const int N = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &T, nullptr, Buf, 128, nullptr);
  return N > 0 ? WideToUtf8(std::wstring_view(Buf, static_cast<size_t>(N - 1))) : std::string();
}

// The user's long-time format has no time-zone field on Windows.
std::string UserLongTime(int Hour, int Minute, int Second) {
  const SYSTEMTIME T = SystemTimeOf(1970, 1, 1, Hour, Minute, Second);
  wchar_t Buf[128];
  const int N = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &T, nullptr, Buf, 128);
  return N > 0 ? WideToUtf8(std::wstring_view(Buf, static_cast<size_t>(N - 1))) : std::string();
}

int UserCompareNoCase(std::string_view A, std::string_view B) {
  const std::wstring WA = Utf8ToWide(A), WB = Utf8ToWide(B);
  const int R = CompareStringEx(LOCALE_NAME_USER_DEFAULT, LINGUISTIC_IGNORECASE, WA.c_str(), static_cast<int>(WA.size()),
                                WB.c_str(), static_cast<int>(WB.size()), nullptr, nullptr, 0);
  if (R == 0) return WA.compare(WB);  // the call failed: code units
  return R - CSTR_EQUAL;
}

std::filesystem::path PathFromUtf8(std::string_view Utf8) { return std::filesystem::path(Utf8ToWide(Utf8)); }

std::string PathToUtf8(const std::filesystem::path& P) { return WideToUtf8(P.native()); }

std::string JoinFolderPath(const std::string& Folder, const std::string& Name) {
  if (Folder.empty()) return Name;
  const char Last = Folder.back();
  if (Last == '/' || Last == '\\' || (Last == ':' && Folder.size() == 2)) return Folder + Name;
  const size_t Sep = Folder.find_last_of("/\\");
  return Folder + (Sep == std::string::npos ? '/' : Folder[Sep]) + Name;
}

bool FileNamesIgnoreCase() { return true; }

std::vector<std::string> FolderNames(const std::filesystem::path& Folder) {
  std::vector<std::string> Names;
  std::error_code Ec;
  for (std::filesystem::directory_iterator It(Folder, Ec), End; !Ec && It != End; It.increment(Ec))
    Names.push_back(PathToUtf8(It->path().filename()));
  return Names;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int N = 0;
  LPWSTR* Wide = CommandLineToArgvW(GetCommandLineW(), &N);
  if (!Wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> Args;
  for (int I = 0; I < N; ++I) Args.push_back(WideToUtf8(Wide[I]));
  LocalFree(Wide);
  return Args;
}

// The C library's messages are the system's; only the C library's own
// locale is set (the national language functions read the user's settings).
void SetUpUserLocale() { std::setlocale(LC_ALL, ""); }

namespace {

UINT ConsoleCodePage = 0;  // the console's output code page before the run

void RestoreConsoleCodePage() {
  if (ConsoleCodePage) SetConsoleOutputCP(ConsoleCodePage);
}

}  // namespace

void SetUpStandardOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fflush(stderr);
  _setmode(_fileno(stderr), _O_BINARY);
  DWORD Mode = 0;
  const bool Console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &Mode) ||
                       GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &Mode);
  if (!Console || GetConsoleOutputCP() == CP_UTF8) return;
  ConsoleCodePage = GetConsoleOutputCP();
  if (SetConsoleOutputCP(CP_UTF8)) std::atexit(RestoreConsoleCodePage);
}

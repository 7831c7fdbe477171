// What differs between the systems the command line runs on: the user's
// locale (dates, times and the order of names), file names as UTF-8, the
// names in a folder and the standard output. One implementation for POSIX
// systems (PlatformPosix.cpp, the C library's locale) and one for Windows
// (PlatformWindows.cpp, the system's own national language functions); the
// rest of the code base has no platform code of its own beyond the one file
// read of the reader.
//
// Text is UTF-8 throughout.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// True when the user's locale is the C (POSIX) locale, whose formats the
// summary writes itself on every system: on POSIX systems the C library's
// locale of dates (LC_TIME) is C, POSIX or C.UTF-8; on Windows, LC_ALL or
// else LANG in the environment says C, POSIX or C.UTF-8 (scripts and tests
// ask for the same output on both systems that way).
bool UserLocaleIsC();

// A date in the user's short-date format (Month 1-12, Day 1-31).
std::string UserShortDate(int Year, int Month, int Day);
// A time of day in the user's long-time format, without a time-zone field.
std::string UserLongTime(int Hour, int Minute, int Second);
// Case-insensitive order of two names in the user's locale (collation):
// negative, zero or positive.
int UserCompareNoCase(std::string_view A, std::string_view B);

// A path from UTF-8 text and back: on Windows the system's names are UTF-16,
// on POSIX systems bytes, passed through unchanged.
std::filesystem::path PathFromUtf8(std::string_view Utf8);
std::string PathToUtf8(const std::filesystem::path& P);

// Name in the folder Folder, both UTF-8, written as the user wrote Folder:
// on Windows with the separator Folder uses last ('\\' or '/', '/' when it
// has none), so that "." gives "./Name" on every system.
std::string JoinFolderPath(const std::string& Folder, const std::string& Name);

// Whether units may be read on several threads at once (ParallelScan.h):
// where that has not yet been seen to hold (Windows, where a folder read on
// threads failed under Wine), one thread reads them, whatever --jobs says.
#if defined(_WIN32)
inline constexpr bool UnitsReadOnThreads = false;
#else
inline constexpr bool UnitsReadOnThreads = true;
#endif

// The character between the folders of a list of folders (--unit-path):
// ';' on Windows, where ':' follows a drive letter, ':' elsewhere.
#if defined(_WIN32)
inline constexpr char FolderListSeparator = ';';
#else
inline constexpr char FolderListSeparator = ':';
#endif

// Whether the system's file names ignore letter case (Windows): a name
// written in another case then names the same file.
bool FileNamesIgnoreCase();

// The names in Folder (not "." and ".."), as the system lists them; nothing
// when it cannot be read.
std::vector<std::string> FolderNames(const std::filesystem::path& Folder);

// The program's arguments in UTF-8, argv[0] first. On Windows taken from the
// system's own UTF-16 command line: the C library's argv is in the ANSI code
// page, which only the program's manifest makes UTF-8, and not everywhere.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The C library's locale from the environment, at the start of a program.
// On POSIX systems: system error texts in the user's language; where the
// locale's character set is not UTF-8, the character classes of its UTF-8
// twin, or of C.UTF-8, so that those texts come as UTF-8.
void SetUpUserLocale();

// Standard output and error as bytes: no line-end translation, so that every
// system writes the same output. On Windows a console shows them as UTF-8
// while the program runs (its code page is restored at the end).
void SetUpStandardOutput();

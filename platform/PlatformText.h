// Helpers of both implementations of the platform layer: UTF-8 and wide
// text, the day of the week, time patterns without their zone.
#pragma once

#include <string>
#include <string_view>

// UTF-8 to wide characters (UTF-16 where wchar_t has 16 bits, else code
// points) and back. A byte that starts no valid sequence stands for U+FFFD.
std::wstring Utf8ToWide(std::string_view Utf8);
std::string WideToUtf8(std::wstring_view Wide);

// 0 Sunday .. 6 Saturday, of a date of the Gregorian calendar.
int WeekDay(int Year, int Month, int Day);

// A strftime pattern without its time-zone fields (%Z, %z) and the blanks
// around them: file stamps carry no zone.
std::wstring WithoutZoneFields(std::wstring Pattern);

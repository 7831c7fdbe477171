// Source files' dates, their stamps taken apart (see UnitFacts.h). Apart from the rest of
// the facts: the text summary's module (cli/) needs these without the reader.
#include <chrono>

#include "DCU_Versions.h"
#include "UnitFacts.h"

const char* TSourceDate::ErrorText() const {
  switch (State) {
    case BadDate: return "Invalid argument to date encode";
    case BadTime: return "Invalid argument to time encode";
    default: return "";
  }
}

bool IsNoStamp(int Version, uint32_t Stamp) {
  // The compilers write 0 for an entry whose time they did not record.
  return Stamp == 0xFFFFFFFFu || (!IsFurtherFormat(Version) && Stamp == 0);
}

TSourceDate DecodeSourceDate(int Version, uint32_t Stamp) {
  using namespace std::chrono;
  TSourceDate S;
  if (IsFurtherFormat(Version)) {
    const sys_seconds T{seconds{Stamp}};
    const sys_days Day = floor<days>(T);
    const year_month_day D{Day};
    const hh_mm_ss<seconds> Time{T - Day};
    S = {TSourceDate::Valid, int(D.year()), int(unsigned(D.month())), int(unsigned(D.day())),
         int(Time.hours().count()), int(Time.minutes().count()), int(Time.seconds().count())};
    return S;
  }
  S.Second = int(Stamp & 0x1F) * 2;
  S.Minute = int((Stamp >> 5) & 0x3F);
  S.Hour = int((Stamp >> 11) & 0x1F);
  S.Day = int((Stamp >> 16) & 0x1F);
  S.Month = int((Stamp >> 21) & 0x0F);
  S.Year = int(Stamp >> 25) + 1980;
  if (!year_month_day{year{S.Year}, month{unsigned(S.Month)}, day{unsigned(S.Day)}}.ok())
    S.State = TSourceDate::BadDate;
  else if (S.Hour > 23 || S.Minute > 59 || S.Second > 59)
    S.State = TSourceDate::BadTime;
  else
    S.State = TSourceDate::Valid;
  return S;
}

#include "support/DateUtil.h"
// The Unix-second conversions count every year divisible by 4 as a leap year,
// which is the Gregorian rule over the whole signed 32-bit range; the Julian
// helpers use the full Gregorian rule. Arithmetic that can leave 32 bits is
// done in 64 bits and wrapped back, so no input overflows.

#include "support/StrUtil.h"

#include <ctime>

namespace {

constexpr int32_t UnixEpochJulian = 2440588;

bool LeapSince1970(int64_t y) {
    return (y + 2) % 4 == 0;
}

// Days of month M (1-12) of a year, February 29 in a leap year.
int32_t DaysOfMonth(std::size_t M, bool Leap) {
    return MonthDays[M] + ((M == 2 && Leap) ? 1 : 0);
}

// The three date forms shared by the DOS and Julian texts.
std::string DateText(int32_t Year, int32_t Month, int32_t Day, uint8_t Form) {
    const std::string yy = Copy(IntToStr(Year), 3, 2);
    const std::string mm = IntToStr2(Month);
    const std::string dd = IntToStr2(Day);
    switch (Form) {
    case 1: return mm + "/" + dd + "/" + yy;
    case 2: return dd + "/" + mm + "/" + yy;
    case 3: return yy + "/" + mm + "/" + dd;
    default: return std::string();
    }
}

struct LocalClock {
    std::tm Tm{};
    int32_t Hundredths = 0;
};

LocalClock ReadLocalClock() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    LocalClock c;
    const time_t secs = ts.tv_sec;
    localtime_r(&secs, &c.Tm);
    c.Hundredths = static_cast<int32_t>(ts.tv_nsec / 10000000);
    if (c.Tm.tm_sec > 59) c.Tm.tm_sec = 59; // a leap second stays inside its minute
    return c;
}

DateTime ToDateTime(const std::tm& Tm) {
    DateTime dt;
    dt.Year = static_cast<uint16_t>(Tm.tm_year + 1900);
    dt.Month = static_cast<uint16_t>(Tm.tm_mon + 1);
    dt.Day = static_cast<uint16_t>(Tm.tm_mday);
    dt.Hour = static_cast<uint16_t>(Tm.tm_hour);
    dt.Min = static_cast<uint16_t>(Tm.tm_min);
    dt.Sec = static_cast<uint16_t>(Tm.tm_sec);
    return dt;
}

// Two-digit years of date texts: below Pivot is 20YY, the rest 19YY.
int32_t FullYear(int32_t YY, int32_t Pivot) {
    return YY < Pivot ? YY + 2000 : YY + 1900;
}

} // namespace

uint32_t NowDosTime() {
    DateTime dt;
    NowDateTime(dt);
    // A clock outside the DOS years 1980-2107 is held at their ends.
    uint32_t year = dt.Year < 1980 ? 0u : (dt.Year > 2107 ? 127u : dt.Year - 1980u);
    return (year << 25) | (uint32_t{dt.Month} << 21) | (uint32_t{dt.Day} << 16) |
           (uint32_t{dt.Hour} << 11) | (uint32_t{dt.Min} << 5) | (uint32_t{dt.Sec} / 2);
}

int32_t DosToUnix(uint32_t P) {
    return DateToUnix(UnpackDosTime(P));
}

std::string UnixDateStr(int32_t Secs) {
    DateTime dt;
    UnixToDateTime(Secs, dt);
    return ZeroPad2(dt.Hour) + ":" + ZeroPad2(dt.Min) + " " + ZeroPadN(dt.Day, 2) + "-" +
           ZeroPadN(dt.Month, 2) + "-" + ZeroPadN(dt.Year, 4);
}

// A negative Secs is 1970-01-01 00:00:00, its Sec field 0 as well.
void UnixToDateTime(int32_t Secs, DateTime& DT) {
    DT = DateTime{};
    int32_t s = Secs < 0 ? 0 : Secs;
    int32_t y = 0;
    for (;;) {
        const int32_t len = LeapSince1970(y) ? 31622400 : 31536000;
        if (s < len) break;
        s -= len;
        ++y;
    }
    const bool leap = LeapSince1970(y);
    std::size_t m = 0;
    while (m < 12 && s >= DaysOfMonth(m + 1, leap) * 86400) {
        s -= DaysOfMonth(m + 1, leap) * 86400;
        ++m;
    }
    DT.Year = static_cast<uint16_t>(1970 + y);
    DT.Month = static_cast<uint16_t>(m + 1);
    DT.Day = static_cast<uint16_t>(s / 86400 + 1);
    s %= 86400;
    DT.Hour = static_cast<uint16_t>(s / 3600);
    s %= 3600;
    DT.Min = static_cast<uint16_t>(s / 60);
    DT.Sec = static_cast<uint16_t>(s % 60);
}

void DateTimeToUnix(const DateTime& DT, int32_t& Secs) {
    const int64_t y = int64_t{DT.Year} - 1970;
    const bool leap = DT.Year % 4 == 0;
    int64_t days = int64_t{DT.Day} - 1;
    for (std::size_t m = 1; m < DT.Month && m <= 12; ++m) days += DaysOfMonth(m, leap);
    const int64_t leaps = (y + 2) / 4 - (leap ? 1 : 0);
    const int64_t secs = DT.Sec + DT.Min * int64_t{60} + DT.Hour * int64_t{3600} + days * 86400 +
                         y * 31536000 + leaps * 86400;
    Secs = static_cast<int32_t>(secs);
}

int32_t DateToUnix(const DateTime& DT) {
    int32_t j = 0;
    DateToJulian(DT.Year, DT.Month, DT.Day, j);
    const int64_t secs = (int64_t{j} - UnixEpochJulian) * 86400 + DT.Hour * int64_t{3600} +
                         DT.Min * int64_t{60} + DT.Sec;
    return static_cast<int32_t>(secs);
}

std::string UnixDayStr(int32_t Secs) {
    DateTime dt;
    UnixToDateTime(Secs, dt);
    return PadLeft(ZeroPadN(dt.Day, 2), 2, '0') + "-" + PadLeft(ZeroPadN(dt.Month, 2), 2, '0') +
           "-" + ZeroPadN(dt.Year, 4);
}

// Right-aligned in two columns with the blank made "0", or cut to two: the
// same text as IntToStr2 for every value.
std::string ZeroPad2(int32_t N) {
    return IntToStr2(N);
}

std::string ZeroPadN(int32_t N, uint8_t Width) {
    std::string t = IntToStr(N);
    if (t.size() < Width) t.insert(0, Width - t.size(), ' ');
    t = t.substr(0, 10);
    if (!t.empty() && t[0] == ' ') t[0] = '0';
    return t;
}

void DateToJulian(uint16_t Year, uint16_t Month, uint16_t Day, int32_t& J) {
    int64_t y = Year;
    int64_t m = Month;
    if (m <= 2) {
        y -= 1;
        m += 12;
    }
    m -= 3;
    const int64_t c = y / 100;
    const int64_t r = y % 100;
    J = static_cast<int32_t>((146097 * c) / 4 + (1461 * r) / 4 + (153 * m + 2) / 5 + Day + 1721119);
}

void JulianToDate(int32_t J, uint16_t& Year, uint16_t& Month, uint16_t& Day) {
    const int64_t t = 4 * (int64_t{J} - 1721119) - 1;
    const int64_t c = t / 146097;
    const int64_t x = 4 * ((t % 146097) / 4) + 3;
    int64_t r = x / 1461;
    const int64_t e = 5 * (((x % 1461) + 4) / 4) - 3;
    int64_t m = e / 153;
    Day = static_cast<uint16_t>(((e % 153) + 5) / 5);
    if (m >= 10) {
        r += 1;
        m -= 12;
    }
    Month = static_cast<uint16_t>(m + 3);
    Year = static_cast<uint16_t>(100 * c + r);
}

std::string JulianDateStr(int32_t J, uint8_t Form) {
    int64_t l = int64_t{J} + 68569;
    const int64_t n = (4 * l) / 146097;
    l -= (146097 * n + 3) / 4;
    const int64_t i = (4000 * (l + 1)) / 1461001;
    l = l - (1461 * i) / 4 + 31;
    const int64_t k = (80 * l) / 2447;
    const int64_t day = l - (2447 * k) / 80;
    l = k / 11;
    const int64_t month = k + 2 - 12 * l;
    const int64_t year = 100 * (n - 49) + i + l;
    return DateText(static_cast<int32_t>(year), static_cast<int32_t>(month),
                    static_cast<int32_t>(day), Form);
}

int32_t DateStrToDays(const std::string& S) {
    const int64_t m = StrToInt(Copy(S, 1, 2));
    const int64_t d = StrToInt(Copy(S, 4, 2));
    const int64_t y = FullYear(StrToInt(Copy(S, 7, 2)), 20);
    const int64_t a = (m - 14) / 12;
    const int64_t j = (1461 * (y + 4800 + a)) / 4 + (367 * (m - 2 - 12 * a)) / 12 -
                      (3 * ((y + 4900 + a) / 100)) / 4 + d - 32075;
    return static_cast<int32_t>(j);
}

DateTime UnpackDosTime(uint32_t P) {
    DateTime dt;
    dt.Year = static_cast<uint16_t>(1980 + (P >> 25));
    dt.Month = static_cast<uint16_t>((P >> 21) & 15);
    dt.Day = static_cast<uint16_t>((P >> 16) & 31);
    dt.Hour = static_cast<uint16_t>((P >> 11) & 31);
    dt.Min = static_cast<uint16_t>((P >> 5) & 63);
    dt.Sec = static_cast<uint16_t>((P & 31) * 2);
    return dt;
}

std::string DosDateStr(uint32_t P, uint8_t Form) {
    const DateTime dt = UnpackDosTime(P);
    return DateText(dt.Year, dt.Month, dt.Day, Form);
}

std::string DosTimeStr(uint32_t P, bool Twelve) {
    const DateTime dt = UnpackDosTime(P);
    if (!Twelve) return IntToStr2(dt.Hour) + ":" + IntToStr2(dt.Min);
    const bool pm = dt.Hour >= 12;
    int32_t h = pm ? dt.Hour - 12 : dt.Hour;
    if (h == 0) h = 12;
    return IntToStr2(h) + ":" + IntToStr2(dt.Min) + (pm ? "p" : "a");
}

std::string DosTimeStrEx(uint32_t P, uint8_t Form) {
    switch (Form) {
    case 0: return DosTimeStr(P, false);
    case 1: return DosTimeStr(P, true);
    case 2: return DosTimeStr(P, false) + ":" + IntToStr2(UnpackDosTime(P).Sec);
    default: return std::string();
    }
}

// Each field is masked to its width, so a month or day out of range cannot
// spill into the neighbouring fields of the packed value.
uint32_t DateStrToDos(const std::string& S) {
    const uint32_t m = static_cast<uint32_t>(StrToInt(Copy(S, 1, 2)));
    const uint32_t d = static_cast<uint32_t>(StrToInt(Copy(S, 4, 2)));
    const uint32_t y = static_cast<uint32_t>(FullYear(StrToInt(Copy(S, 7, 2)), 80) - 1980);
    return ((y & 127) << 25) | ((m & 15) << 21) | ((d & 31) << 16);
}

uint8_t DosWeekDay(uint32_t P) {
    const DateTime dt = UnpackDosTime(P);
    int32_t j = 0;
    DateToJulian(dt.Year, dt.Month, dt.Day, j);
    // Julian day 0 mod 7 is a Monday; one day on makes Sunday 0.
    return static_cast<uint8_t>(((int64_t{j} + 1) % 7 + 7) % 7);
}

void NowDateTime(DateTime& DT) {
    DT = ToDateTime(ReadLocalClock().Tm);
}

int32_t TodayJulian() {
    DateTime dt;
    NowDateTime(dt);
    int32_t j = 0;
    DateToJulian(dt.Year, dt.Month, dt.Day, j);
    return j;
}

int32_t SecsOfDay() {
    const std::tm tm = ReadLocalClock().Tm;
    return tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

int32_t MinsOfDay() {
    const std::tm tm = ReadLocalClock().Tm;
    return tm.tm_hour * 60 + tm.tm_min;
}

int32_t DaysAgo(int32_t X, uint8_t Mode) {
    switch (Mode) {
    case 1: return TodayJulian() - X;
    case 2: return TodayJulian() - DateStrToDays(DosDateStr(static_cast<uint32_t>(X), 1));
    default: return 0;
    }
}

int32_t HourHundredths() {
    const LocalClock c = ReadLocalClock();
    return c.Tm.tm_min * 6000 + c.Tm.tm_sec * 100 + c.Hundredths;
}

int32_t TimerHundredths(int32_t Delay) {
    return HourHundredths() + Delay;
}

bool TimerElapsed(int32_t Deadline) {
    return TimerElapsedAt(Deadline, HourHundredths());
}

bool TimerElapsedAt(int32_t Deadline, int32_t Now) {
    int64_t n = Now;
    // A deadline far above the present moment was set before the hour turned.
    if (int64_t{Deadline} - 65536 > n) n += 360000;
    return n >= Deadline;
}

bool ValidMonthDay(const std::string& S) {
    const uint8_t m = static_cast<uint8_t>(StrToInt(Copy(S, 1, 2)));
    const uint8_t d = static_cast<uint8_t>(StrToInt(Copy(S, 4, 2)));
    return m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

std::string FormatDateMask(const DateTime& DT, const std::string& Mask) {
    const std::string year = IntToStr(DT.Year).substr(0, 4);
    const std::string name =
        (DT.Month >= 1 && DT.Month <= 12) ? std::string(MonthNames[DT.Month]) : std::string();
    std::string t = Mask;
    t = ReplaceAll(t, "YYYY", year);
    t = ReplaceAll(t, "YY", Copy(year, 3, 2));
    t = ReplaceAll(t, "MM", IntToStr2(DT.Month));
    t = ReplaceAll(t, "DD", IntToStr2(DT.Day));
    t = ReplaceAll(t, "HH", IntToStr2(DT.Hour));
    t = ReplaceAll(t, "II", IntToStr2(DT.Min));
    t = ReplaceAll(t, "SS", IntToStr2(DT.Sec));
    t = ReplaceAll(t, "NNN", name);
    return t;
}

std::string SecsToDHMS(int32_t S) {
    const int32_t rest = S % 86400;
    return IntToStr(S / 86400) + "d " + IntToStr(rest / 3600) + "h " +
           IntToStr((rest % 3600) / 60) + "m " + IntToStr(rest % 60) + "s";
}

// Each part zero-padded to two digits or cut to its first two (IntToStr2,
// which is what padding with "0" to two and cutting there gives).
std::string SecsToHM(int32_t S) {
    return IntToStr2(S / 3600) + ":" + IntToStr2((S % 3600) / 60);
}

std::string SecsToHMStr(int32_t S) {
    return SecsToHM(S);
}

std::string SecsToHMS(int32_t S) {
    return SecsToHM(S) + ":" + IntToStr2(S % 60);
}

std::string MinsToHM(int32_t M) {
    return IntToStr2(M / 60) + ":" + IntToStr2(M % 60);
}

int32_t StrToIntVal(const std::string& S) {
    return StrToInt(S);
}

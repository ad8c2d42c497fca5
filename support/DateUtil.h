#pragma once
// Date and time helpers: plain calendar arithmetic between Unix seconds (signed
// 32-bit, never shifted by a time zone), DateTime records, Julian Day Numbers,
// DOS packed date-times and short texts. Only the helpers that report the
// present moment read the clock, and they read the local time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct DateTime {
    uint16_t Year = 0;
    uint16_t Month = 0;
    uint16_t Day = 0;
    uint16_t Hour = 0;
    uint16_t Min = 0;
    uint16_t Sec = 0;
    bool operator==(const DateTime&) const = default;
};

// A constant table read with 1-based indexes (months 1 to 12).
template <typename T, std::size_t N> struct TMonthTable {
    T Data[N];
    constexpr const T& operator[](std::size_t K) const { return Data[K - 1]; }
    static constexpr std::size_t size() { return N; }
};

// Days of each month; February stays 28 here, leap days are added by the callers.
inline constexpr TMonthTable<uint8_t, 12> MonthDays{
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
inline constexpr TMonthTable<std::string_view, 12> MonthNames{
    {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}};

// The current local date and time as a DOS packed date-time.
uint32_t NowDosTime();
// Unix seconds of a DOS packed date-time, taken as it is (no zone shift).
int32_t DosToUnix(uint32_t P);
// HH:MM DD-MM-YYYY of Unix seconds, without any zone offset.
std::string UnixDateStr(int32_t Secs);

// Unix seconds <-> calendar. Negative seconds give 1970-01-01 00:00:00.
void UnixToDateTime(int32_t Secs, DateTime& DT);
void DateTimeToUnix(const DateTime& DT, int32_t& Secs);
int32_t DateToUnix(const DateTime& DT);
std::string UnixDayStr(int32_t Secs);
std::string ZeroPad2(int32_t N);
std::string ZeroPadN(int32_t N, uint8_t Width);

// Julian Day Numbers, full Gregorian rule.
void DateToJulian(uint16_t Year, uint16_t Month, uint16_t Day, int32_t& J);
void JulianToDate(int32_t J, uint16_t& Year, uint16_t& Month, uint16_t& Day);
std::string JulianDateStr(int32_t J, uint8_t Form);
int32_t DateStrToDays(const std::string& S);

// DOS packed date-times.
DateTime UnpackDosTime(uint32_t P);
std::string DosDateStr(uint32_t P, uint8_t Form);
std::string DosTimeStr(uint32_t P, bool Twelve);
std::string DosTimeStrEx(uint32_t P, uint8_t Form);
uint32_t DateStrToDos(const std::string& S);
// Sunday 0 to Saturday 6.
uint8_t DosWeekDay(uint32_t P);

// The clock, in local time.
void NowDateTime(DateTime& DT);
int32_t TodayJulian();
int32_t SecsOfDay();
int32_t MinsOfDay();
int32_t DaysAgo(int32_t X, uint8_t Mode);

// Deadlines in hundredths of a second within the current hour.
int32_t TimerHundredths(int32_t Delay);
bool TimerElapsed(int32_t Deadline);
// The hundredths of the current hour, 0 to 359999, and the elapsed test
// against a given one; TimerHundredths and TimerElapsed read the clock here.
int32_t HourHundredths();
bool TimerElapsedAt(int32_t Deadline, int32_t Now);

// Texts.
bool ValidMonthDay(const std::string& S);
std::string FormatDateMask(const DateTime& DT, const std::string& Mask);
std::string SecsToDHMS(int32_t S);
std::string SecsToHM(int32_t S);
std::string SecsToHMStr(int32_t S);
std::string SecsToHMS(int32_t S);
std::string MinsToHM(int32_t M);
int32_t StrToIntVal(const std::string& S);

#pragma once
// String and number helpers. Strings are bytes (code page 437), never decoded;
// every result is cut at 255 bytes, the length limit of the program's strings,
// except the two path helpers AddSlash and DelSlash: a path is never cut.
// Case rules touch A-Z and a-z only. Positions are 1-based, 0 means "none".
// No helper fails: malformed input yields a defined value.

#include <cstdint>
#include <string>

// The longest string the program keeps; longer values are cut, never wrapped.
inline constexpr std::size_t MaxStrLen = 255;

// S cut to its first 255 bytes.
std::string CutStr(std::string S);

// The Count bytes of S from 1-based position Index, as far as S goes. An Index
// below 1 reads from the start; a Count of 0 or less, or an Index past the end,
// gives the empty string. Nothing is cut at 255: S may be any text.
std::string Copy(const std::string& S, int64_t Index, int64_t Count);
// 1-based position of the first Ch, or of the first Sub (case-sensitive), in S;
// 0 when there is none, and for an empty Sub.
int64_t Pos(char Ch, const std::string& S);
int64_t Pos(const std::string& Sub, const std::string& S);

char LoCase(char Ch);
std::string UpperCase(const std::string& S);
std::string LowerCase(const std::string& S);
std::string StringOfChar(char Ch, uint8_t Count);
std::string PadRight(const std::string& S, uint8_t Width, char Ch);
std::string PadLeft(const std::string& S, uint8_t Width, char Ch);
std::string PadCenter(const std::string& S, uint8_t Width, char Ch);
std::string IntToStr(int32_t N);
std::string IntToStrComma(int32_t N);
std::string IntToHex(uint32_t N, uint8_t Width);
int32_t StrToInt(const std::string& S);
int32_t StrToIntDef(const std::string& S, int32_t Default);

std::string RealToStr(double R, uint8_t Decimals);
int32_t PosNoCase(const std::string& Sub, const std::string& S);
bool ContainsNoCase(const std::string& Sub, const std::string& S);
// "/" appended unless S ends in one ("/" for ''); S without a last "/".
// Paths: never cut at 255.
std::string AddSlash(const std::string& S);
std::string DelSlash(const std::string& S);
std::string IfStr(bool Cond, const std::string& A, const std::string& B);
std::string LeftPadChar(const std::string& S, char Ch, int32_t Width);
std::string RightPadChar(const std::string& S, char Ch, int32_t Width);
std::string Center80(const std::string& S);
std::string RightJustify80(const std::string& S);
std::string ReplaceAll(const std::string& S, const std::string& Find, const std::string& Repl);
std::string StripChar(const std::string& S, char Ch);
std::string StripLeft(const std::string& S, char Ch);
std::string StripRight(const std::string& S, char Ch);
std::string StripBoth(const std::string& S, char Ch);
std::string StripCtrl(const std::string& S);
uint8_t WordCount(const std::string& S, char Ch);
uint8_t WordPos(uint8_t N, const std::string& S, char Ch);
std::string WordGet(uint8_t N, const std::string& S, char Ch);
std::string TextBetween(const std::string& S, const std::string& Open, const std::string& Close);
std::string IntToStr2(int32_t N);
std::string ByteToHex(uint8_t B);
std::string CharsToStr(const void* P, uint8_t Len);
std::string YesNoStr(bool B);
std::string WrapLine(std::string& S, uint8_t Width, bool Justify);
uint8_t SplitAtBlank(std::string& S, std::string& Rest, uint8_t Col);

std::string StripPipe(const std::string& S);
std::string StripAllPipe(const std::string& S);
uint8_t StrPipeLength(const std::string& S);
uint8_t PipeWidth(const std::string& S, uint8_t Width);
std::string ColorToPipe(uint8_t Color);
std::string HotKeyStr(const std::string& S);

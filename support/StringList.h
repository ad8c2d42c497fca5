#pragma once
// An ordered list of text lines (byte strings): count, get by index, clear,
// add, and save to a file with a line feed after every line, the last too.
// Clearing keeps the line buffers for reuse, so refilling the list with lines
// of a similar size allocates nothing.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class TStringList {
public:
    using const_iterator = std::vector<std::string>::const_iterator;

    int32_t Count() const { return static_cast<int32_t>(FCount); }
    // Line Index (from 0); an empty string when Index is out of range.
    const std::string& Get(int32_t Index) const;
    const std::string& operator[](int32_t Index) const { return Get(Index); }
    void Clear();
    void Add(const std::string& S) { Add(S.data(), S.size()); }
    // Inline: a message text adds its lines by the thousand.
    void Add(const char* P, std::size_t Len) {
        if (Len > LongLine) FMayHoldLong = true;
        if (FCount < FItems.size()) {
            std::string& s = FItems[FCount++];
            s.resize(Len);
            CopyBytes(s.data(), P, Len);
        } else {
            AddNew(P, Len);
        }
    }
    // Adds an empty line and returns it, for a line that arrives in pieces.
    // The reference holds until the next Add, AddEmpty or Clear.
    std::string& AddEmpty();
    // Creates or truncates Name and writes every line followed by a line feed;
    // false when the file cannot be created or written.
    bool SaveToFile(const std::string& Name) const;

    const_iterator begin() const { return FItems.begin(); }
    const_iterator end() const { return FItems.begin() + static_cast<std::ptrdiff_t>(FCount); }

private:
    // A line buffer above this many bytes counts as long when Clear decides
    // which spare buffers to keep.
    static constexpr std::size_t LongLine = 1024;

    void AddNew(const char* P, std::size_t Len);
    // Copies N bytes with fixed-size moves (overlapping at the end), never
    // touching a byte outside either range: no call for a short line.
    static void CopyBytes(char* D, const char* S, std::size_t N) {
        if (N >= 16) {
            for (std::size_t i = 0; i + 16 < N; i += 16) std::memcpy(D + i, S + i, 16);
            std::memcpy(D + N - 16, S + N - 16, 16);
        } else if (N >= 8) {
            std::memcpy(D, S, 8);
            std::memcpy(D + N - 8, S + N - 8, 8);
        } else if (N >= 4) {
            std::memcpy(D, S, 4);
            std::memcpy(D + N - 4, S + N - 4, 4);
        } else if (N > 0) {
            D[0] = S[0];
            D[N / 2] = S[N / 2];
            D[N - 1] = S[N - 1];
        }
    }

    std::vector<std::string> FItems; // FItems[FCount..] are spare buffers
    std::size_t FCount = 0;
    bool FMayHoldLong = false; // a buffer may have grown long since the last Clear
};

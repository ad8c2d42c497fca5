#pragma once
// An ordered list of text lines (byte strings): count, get by index, clear,
// add, and save to a file with a line feed after every line, the last too.
// Clearing keeps the line buffers for reuse, so refilling the list with lines
// of a similar size allocates nothing.

#include <cstddef>
#include <cstdint>
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
    void Add(const char* P, std::size_t Len);
    // Creates or truncates Name and writes every line followed by a line feed;
    // false when the file cannot be created or written.
    bool SaveToFile(const std::string& Name) const;

    const_iterator begin() const { return FItems.begin(); }
    const_iterator end() const { return FItems.begin() + static_cast<std::ptrdiff_t>(FCount); }

private:
    std::vector<std::string> FItems; // FItems[FCount..] are spare buffers
    std::size_t FCount = 0;
};

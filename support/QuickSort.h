#pragma once
// Name/value sorter: up to 10000 records, each owned by the store and reached
// through slots 1 to Total. Sorting moves only the slot pointers, so a record
// keeps its address while it is held. Names compare byte by byte, unsigned,
// the shorter first when one begins the other.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

struct TQuickSortRec {
    std::string Name;
    int32_t Value = 0;
    bool operator==(const TQuickSortRec&) const = default;
};

enum TSortMethod : uint8_t { qAscending = 0, qDescending = 1 };

// The number of slots of one store.
inline constexpr uint16_t QuickSortMaxItems = 10000;

class TQuickSort {
public:
    // The items held.
    uint16_t Total = 0;
    // Slots 1 to QuickSortMaxItems; slot 0 is never used.
    std::array<std::unique_ptr<TQuickSortRec>, QuickSortMaxItems + 1> Items;

    TQuickSort();
    ~TQuickSort();
    TQuickSort(const TQuickSort&) = delete;
    TQuickSort& operator=(const TQuickSort&) = delete;

    void Clear();
    // False, with the store unchanged, when all slots are in use or no memory is left.
    bool Add(const std::string& Name, int32_t Value);
    void AddLimited(const std::string& Name, int32_t Value, uint16_t Max, TSortMethod Method);
    void Sort(uint16_t Left, uint16_t Right, TSortMethod Method);
};

#include "support/QuickSort.h"
// A Hoare partition around the middle slot's name. Of the two parts left after
// a partition the smaller is sorted by recursion and the larger by the loop,
// so the stack stays shallow for any input; the parts do not overlap, so the
// order in which they are sorted does not change the result.

#include "support/StrUtil.h"

#include <cstring>
#include <new>

namespace {

// Byte order, each byte unsigned; a name that begins the other comes first.
int CompareNames(const std::string& A, const std::string& B) {
    const std::size_t n = A.size() < B.size() ? A.size() : B.size();
    const int c = n == 0 ? 0 : std::memcmp(A.data(), B.data(), n);
    if (c != 0) return c;
    if (A.size() == B.size()) return 0;
    return A.size() < B.size() ? -1 : 1;
}

// True when name A sorts before name B in the direction of Method.
bool Precedes(const std::string& A, const std::string& B, TSortMethod Method) {
    const int c = CompareNames(A, B);
    return Method == qDescending ? c > 0 : c < 0;
}

} // namespace

TQuickSort::TQuickSort() = default;

TQuickSort::~TQuickSort() {
    Clear();
}

void TQuickSort::Clear() {
    for (uint16_t k = 1; k <= Total; ++k) Items[k].reset();
    Total = 0;
}

// A full store refuses the item rather than write past its last slot.
bool TQuickSort::Add(const std::string& Name, int32_t Value) {
    if (Total >= QuickSortMaxItems) return false;
    try {
        Items[Total + 1] = std::make_unique<TQuickSortRec>(TQuickSortRec{CutStr(Name), Value});
    } catch (const std::bad_alloc&) {
        return false;
    }
    ++Total;
    return true;
}

void TQuickSort::AddLimited(const std::string& Name, int32_t Value, uint16_t Max,
                            TSortMethod Method) {
    if (Total < Max) {
        Add(Name, Value);
        return;
    }
    for (uint16_t k = Total; k >= 1; --k) {
        if (Precedes(Name, Items[k]->Name, Method)) {
            Items[k]->Name = CutStr(Name);
            Items[k]->Value = Value;
            return;
        }
    }
}

// Slots outside 1 to Total are never touched: a range beyond Total is cut to
// Total, and an empty or reversed range sorts nothing.
void TQuickSort::Sort(uint16_t Left, uint16_t Right, TSortMethod Method) {
    if (Total == 0) return;
    int32_t left = Left < 1 ? 1 : Left;
    int32_t right = Right > Total ? Total : Right;
    while (left < right) {
        int32_t i = left;
        int32_t j = right;
        const std::string pivot = Items[(left + right) / 2]->Name;
        do {
            while (Precedes(Items[i]->Name, pivot, Method)) ++i;
            while (Precedes(pivot, Items[j]->Name, Method)) --j;
            if (i <= j) {
                Items[i].swap(Items[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        // Here left - 1 <= j < i <= right + 1.
        if (j - left < right - i) {
            if (left < j) Sort(static_cast<uint16_t>(left), static_cast<uint16_t>(j), Method);
            left = i;
        } else {
            if (i < right) Sort(static_cast<uint16_t>(i), static_cast<uint16_t>(right), Method);
            right = j;
        }
    }
}

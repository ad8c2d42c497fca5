#include "support/QuickSort.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

void Fill(TQuickSort& q, const std::vector<std::string>& names) {
    int32_t v = 0;
    for (const std::string& n : names) ASSERT_TRUE(q.Add(n, v++));
}

std::vector<std::string> Names(const TQuickSort& q) {
    std::vector<std::string> out;
    for (uint16_t k = 1; k <= q.Total; ++k) out.push_back(q.Items[k]->Name);
    return out;
}

bool ByteLess(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

} // namespace

TEST(QuickSort, EmptyAndSingleStores) {
    TQuickSort q;
    EXPECT_EQ(q.Total, 0);
    q.Sort(1, 0, qAscending);
    q.Sort(5, 9, qDescending); // nothing held: returns at once
    EXPECT_EQ(q.Total, 0);
    Fill(q, {"only"});
    q.Sort(1, 1, qAscending);
    q.Sort(1, 1, qDescending);
    EXPECT_EQ(Names(q), std::vector<std::string>{"only"});
}

TEST(QuickSort, NameOrderIsBytewiseAndCaseSensitive) {
    TQuickSort q;
    Fill(q, {"b", "B", "a", "A", "ab"});
    q.Sort(1, q.Total, qAscending);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"A", "B", "a", "ab", "b"}));
    q.Sort(1, q.Total, qDescending);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"b", "ab", "a", "B", "A"}));

    TQuickSort r;
    Fill(r, {"\x80x", "alpha", "Zeta", "abc", "ab", "", "\xFF", "~"});
    r.Sort(1, r.Total, qAscending);
    EXPECT_EQ(Names(r),
              (std::vector<std::string>{"", "Zeta", "ab", "abc", "alpha", "~", "\x80x", "\xFF"}));
}

TEST(QuickSort, ValueTravelsWithItsNameAndRecordsKeepTheirAddress) {
    TQuickSort q;
    Fill(q, {"delta", "alpha", "charlie", "bravo"});
    std::map<std::string, const TQuickSortRec*> where;
    for (uint16_t k = 1; k <= q.Total; ++k) where[q.Items[k]->Name] = q.Items[k].get();
    q.Sort(1, q.Total, qAscending);
    const std::vector<std::pair<std::string, int32_t>> want = {
        {"alpha", 1}, {"bravo", 3}, {"charlie", 2}, {"delta", 0}};
    for (uint16_t k = 1; k <= q.Total; ++k) {
        EXPECT_EQ(q.Items[k]->Name, want[k - 1].first);
        EXPECT_EQ(q.Items[k]->Value, want[k - 1].second);
        EXPECT_EQ(q.Items[k].get(), where[want[k - 1].first]);
    }
}

TEST(QuickSort, SortsOnlyTheGivenRange) {
    TQuickSort q;
    Fill(q, {"z", "d", "c", "b", "a"});
    q.Sort(2, 4, qAscending);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"z", "b", "c", "d", "a"}));
}

TEST(QuickSort, AllEqualNamesTerminateAndKeepEveryItem) {
    TQuickSort q;
    for (int k = 0; k < 1000; ++k) ASSERT_TRUE(q.Add("same", k));
    q.Sort(1, q.Total, qAscending);
    q.Sort(1, q.Total, qDescending);
    ASSERT_EQ(q.Total, 1000);
    std::vector<int32_t> values;
    for (uint16_t k = 1; k <= q.Total; ++k) {
        EXPECT_EQ(q.Items[k]->Name, "same");
        values.push_back(q.Items[k]->Value);
    }
    std::sort(values.begin(), values.end());
    for (int k = 0; k < 1000; ++k) EXPECT_EQ(values[k], k);
}

TEST(QuickSort, FullStoreSortsEveryShape) {
    std::mt19937 rng(1234);
    const int n = QuickSortMaxItems;
    std::vector<std::vector<std::string>> shapes(5);
    for (int k = 0; k < n; ++k) {
        char buf[16];
        snprintf(buf, sizeof buf, "%05d", k);
        shapes[0].push_back(buf);                                   // sorted
        shapes[1].insert(shapes[1].begin(), buf);                   // reversed
        shapes[2].push_back(std::to_string(k < n / 2 ? k : n - k)); // organ pipe
        shapes[3].push_back(std::string(1, char('a' + rng() % 3))); // few distinct
        shapes[4].push_back(std::to_string(rng()));                 // random
    }
    for (const auto& names : shapes) {
        for (TSortMethod method : {qAscending, qDescending}) {
            TQuickSort q;
            Fill(q, names);
            q.Sort(1, q.Total, method);
            std::vector<std::string> want = names;
            std::sort(want.begin(), want.end(), ByteLess);
            if (method == qDescending) std::reverse(want.begin(), want.end());
            ASSERT_EQ(Names(q), want);
        }
    }
}

TEST(QuickSort, ClearEmptiesAndRefillsFromSlotOne) {
    TQuickSort q;
    Fill(q, {"x", "y"});
    q.Clear();
    EXPECT_EQ(q.Total, 0);
    EXPECT_EQ(q.Items[1], nullptr);
    EXPECT_TRUE(q.Add("fresh", 7));
    EXPECT_EQ(q.Total, 1);
    EXPECT_EQ(*q.Items[1], (TQuickSortRec{"fresh", 7}));
}

TEST(QuickSort, AddCutsNamesAt255Bytes) {
    TQuickSort q;
    ASSERT_TRUE(q.Add(std::string(300, 'n'), 1));
    EXPECT_EQ(q.Items[1]->Name, std::string(255, 'n'));
}

TEST(QuickSort, AddLimitedOverwritesTheLastSlotThatSortsAfter) {
    TQuickSort q;
    Fill(q, {"a", "c", "e"});
    q.AddLimited("b", 42, 3, qAscending);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(q.Items[3]->Value, 42);

    TQuickSort r;
    Fill(r, {"a", "c", "e"});
    r.AddLimited("f", 42, 3, qAscending);
    EXPECT_EQ(Names(r), (std::vector<std::string>{"a", "c", "e"}));

    TQuickSort d;
    Fill(d, {"e", "c", "a"});
    d.AddLimited("d", 5, 3, qDescending);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"e", "c", "d"}));
    d.AddLimited("0", 5, 3, qDescending); // sorts after everything: dropped
    EXPECT_EQ(Names(d), (std::vector<std::string>{"e", "c", "d"}));

    TQuickSort g;
    g.AddLimited("a", 1, 2, qAscending); // below Max: added
    g.AddLimited("b", 2, 2, qAscending);
    g.AddLimited("c", 3, 0, qAscending); // Max 0 and nothing after "c": dropped
    EXPECT_EQ(Names(g), (std::vector<std::string>{"a", "b"}));
}

TEST(QuickSort, AddPastTheLastSlotIsRefused) {
    TQuickSort q;
    for (int k = 0; k < QuickSortMaxItems; ++k) ASSERT_TRUE(q.Add(std::to_string(k), k));
    EXPECT_FALSE(q.Add("one too many", -1));
    EXPECT_EQ(q.Total, QuickSortMaxItems);
    EXPECT_EQ(q.Items[QuickSortMaxItems]->Name, "9999");
    q.AddLimited("extra", -1, 20000, qAscending); // Max above the slots: still refused
    EXPECT_EQ(q.Total, QuickSortMaxItems);
    q.Sort(1, q.Total, qAscending);
    EXPECT_EQ(q.Items[1]->Name, "0");
    EXPECT_EQ(q.Items[QuickSortMaxItems]->Name, "9999");
}

TEST(QuickSort, RangesBeyondTotalNeverTouchEmptySlots) {
    TQuickSort q;
    Fill(q, {"c", "a", "b"});
    q.Sort(1, 60000, qAscending);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"a", "b", "c"}));
    q.Sort(3, 1, qDescending); // reversed range: nothing to do
    q.Sort(0, 3, qDescending);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"c", "b", "a"}));
}

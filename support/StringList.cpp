#include "support/StringList.h"

#include "support/FileDesc.h"

#include <fcntl.h>

namespace {

// Spare line buffers kept by Clear(); a list that once held more lines gives
// the rest back, so one huge text does not pin its memory for the whole run.
constexpr std::size_t KeptLines = 4096;
// Long spare buffers are kept up to this many bytes in all, the rest given
// back: lines are kept whole, and spares that each once held a long line of
// some text would otherwise add up to far more than any one text. What is
// kept serves the next long lines without a new allocation, whose fresh
// pages cost more than the copy.
constexpr std::size_t KeptLongBytes = 8 * 1024 * 1024;

} // namespace

const std::string& TStringList::Get(int32_t Index) const {
    static const std::string empty;
    if (Index < 0 || static_cast<std::size_t>(Index) >= FCount) return empty;
    return FItems[static_cast<std::size_t>(Index)];
}

void TStringList::AddNew(const char* P, std::size_t Len) {
    FItems.emplace_back(P, Len);
    ++FCount;
}

std::string& TStringList::AddEmpty() {
    FMayHoldLong = true; // its owner may make it any length
    if (FCount < FItems.size()) {
        std::string& s = FItems[FCount++];
        s.clear();
        return s;
    }
    ++FCount;
    return FItems.emplace_back();
}

void TStringList::Clear() {
    FCount = 0;
    if (FItems.size() > KeptLines) {
        FItems.resize(KeptLines);
        FItems.shrink_to_fit();
    }
    if (!FMayHoldLong) return;
    FMayHoldLong = false;
    std::size_t kept = 0;
    for (std::string& s : FItems) {
        if (s.capacity() <= LongLine) continue;
        if (kept + s.capacity() <= KeptLongBytes)
            kept += s.capacity();
        else
            std::string().swap(s);
    }
}

bool TStringList::SaveToFile(const std::string& Name) const {
    TFileDesc file;
    if (!file.Open(Name, O_WRONLY | O_CREAT | O_TRUNC)) return false;
    std::string out;
    bool ok = true;
    for (std::size_t i = 0; i < FCount && ok; ++i) {
        out.append(FItems[i]);
        out.push_back('\n');
        if (out.size() >= 64 * 1024) {
            ok = file.WriteAll(out);
            out.clear();
        }
    }
    if (ok) ok = file.WriteAll(out);
    if (!file.Close()) ok = false;
    return ok;
}

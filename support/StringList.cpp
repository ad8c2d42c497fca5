#include "support/StringList.h"

#include "support/FileDesc.h"

#include <fcntl.h>

namespace {

// Spare line buffers kept by Clear(); a list that once held more lines gives
// the rest back, so one huge text does not pin its memory for the whole run.
constexpr std::size_t KeptLines = 4096;

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

void TStringList::Clear() {
    FCount = 0;
    if (FItems.size() > KeptLines) {
        FItems.resize(KeptLines);
        FItems.shrink_to_fit();
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

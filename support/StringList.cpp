#include "support/StringList.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Spare line buffers kept by Clear(); a list that once held more lines gives
// the rest back, so one huge text does not pin its memory for the whole run.
constexpr std::size_t KeptLines = 4096;

bool WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t r = ::write(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

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
    int fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    std::string out;
    bool ok = true;
    for (std::size_t i = 0; i < FCount && ok; ++i) {
        out.append(FItems[i]);
        out.push_back('\n');
        if (out.size() >= 64 * 1024) {
            ok = WriteAll(fd, out.data(), out.size());
            out.clear();
        }
    }
    if (ok) ok = WriteAll(fd, out.data(), out.size());
    if (::close(fd) != 0) ok = false;
    return ok;
}

#include "tests/common/TempDirFixture.h"

#include "support/FileDesc.h"

#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sched.h>
#include <stdexcept>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TempDir::TempDir() {
    char tmpl[] = "/tmp/kv-test-XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    FPath = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

std::string TempDir::Put(const std::string& Name, const std::string& Bytes) const {
    const std::string full = *this / Name;
    WriteFileBytes(full, Bytes);
    return full;
}

std::string ReadFileBytes(const std::string& Name) {
    std::ifstream in(Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& Name, const std::string& Bytes) {
    std::ofstream out(Name, std::ios::binary | std::ios::trunc);
    out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + Name);
}

void PatchFileBytes(const std::string& Name, int64_t At, const std::string& Bytes) {
    int fd = ::open(Name.c_str(), O_WRONLY);
    bool ok = fd >= 0 &&
              ::pwrite(fd, Bytes.data(), Bytes.size(), At) == static_cast<ssize_t>(Bytes.size());
    if (fd >= 0) ::close(fd);
    if (!ok) throw std::runtime_error("cannot patch " + Name);
}

bool PathExists(const std::string& Name) {
    struct stat st;
    return ::lstat(Name.c_str(), &st) == 0;
}

FileAccessAsOtherUser::FileAccessAsOtherUser() {
    if (::geteuid() == 0) ::setfsuid(65534);
}

FileAccessAsOtherUser::~FileAccessAsOtherUser() {
    if (::geteuid() == 0) ::setfsuid(0);
}

std::optional<std::string> WithOwnMounts(const std::function<std::string()>& Body) {
    int out[2];
    if (::pipe(out) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(77);
        std::string r;
        try {
            r = Body();
        } catch (const std::exception& e) {
            r = std::string("exception: ") + e.what();
        }
        ::_exit(WriteAll(out[1], r) ? 0 : 1);
    }
    ::close(out[1]);
    std::string r;
    char buf[256];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) r.append(buf, std::size_t(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
    return r;
}

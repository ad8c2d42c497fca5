#include "support/FileIO.h"
#include "support/StrUtil.h"
#include "tests/common/TempDirFixture.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sched.h>
#include <string>
#include <string_view>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class FileIOFiles : public TempDirTest {};

#ifndef KV_TEST_EMULATOR
#define KV_TEST_EMULATOR "" // what a cross build runs its programs with
#endif

std::string Bytes(size_t N) {
    std::string s(N, '\0');
    for (size_t i = 0; i < N; ++i) s[i] = static_cast<char>(i * 7 + 3);
    return s;
}

// Restores the working directory a test changes.
struct CwdGuard {
    fs::path Saved = fs::current_path();
    ~CwdGuard() { fs::current_path(Saved); }
};

} // namespace

// --- Name helpers -------------------------------------------------------------

TEST(FileIONames, SplitAndJoinTable) {
    using Fn = std::string (*)(const std::string&);
    struct Case {
        const char* fn;
        Fn f;
        std::string_view in, want;
    };
    const Case cases[] = {
        {"ExtractFilePath", ExtractFilePath, "dir/base.jhr", "dir/"},
        {"ExtractFilePath", ExtractFilePath, "base", ""},
        {"ExtractFilePath", ExtractFilePath, "a\\b", ""},
        {"ExtractFilePath", ExtractFilePath, "a/b\\c", "a/b\\"},
        {"ExtractFilePath", ExtractFilePath, "/x", "/"},
        {"ExtractFilePath", ExtractFilePath, "", ""},
        {"ExtractFileName", ExtractFileName, "a\\b", "b"},
        {"ExtractFileName", ExtractFileName, "dir/", ""},
        {"ExtractFileName", ExtractFileName, "dir/base.jhr", "base.jhr"},
        {"ExtractFileName", ExtractFileName, "base", "base"},
        {"ExtractFileName", ExtractFileName, "a\\b/c", "c"},
        {"StripExt", StripExt, "base.jhr", "base"},
        {"StripExt", StripExt, ".x", ""},
        {"StripExt", StripExt, "my.dir/base", "my"},
        {"StripExt", StripExt, "a.b.c", "a.b"},
        {"StripExt", StripExt, "base", "base"},
        {"ExtractExt", ExtractExt, "a.txt", "txt"},
        {"ExtractExt", ExtractExt, "a.b.c", "c"},
        {"ExtractExt", ExtractExt, "a.", ""},
        {"ExtractExt", ExtractExt, "a", ""},
        {"DirSlash", DirSlash, "", "/"},
        {"DirSlash", DirSlash, "/tmp", "/tmp/"},
        {"DirSlash", DirSlash, "/tmp/", "/tmp/"},
        {"ParentDir", ParentDir, "/a/b/", "/a/"},
        {"ParentDir", ParentDir, "/a/b", "/a/"},
        {"ParentDir", ParentDir, "abc", "/"},
        {"ParentDir", ParentDir, "/", "/"},
        {"ParentDir", ParentDir, "/a", "/"},
        {"ParentDir", ParentDir, "a/b", "a/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.f(std::string(c.in)), c.want) << c.fn << "(\"" << c.in << "\")";
}

TEST(FileIONames, ChangeExtTable) {
    struct Case {
        std::string_view name, ext, want;
    };
    const Case cases[] = {
        {"a.txt", "bak", "a.bak"}, {"a", "bak", "a.bak"},        {"a.b.c", "d", "a.b.d"},
        {"a.", "txt", "a.txt"},    {"dir.x/name", "y", "dir.y"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChangeExt(std::string(c.name), std::string(c.ext)), c.want) << c.name;
}

// A path cut at 255 bytes names another directory, or none: the helpers
// keep the whole of it, past 255 bytes and past the system's 4096 as well.
TEST(FileIONames, PathsAreNeverCut) {
    using Fn = std::function<std::string(const std::string&)>;
    struct Case {
        const char* fn;
        Fn f;
        std::string suffix; // appended to the long path given
        std::string want;   // appended to the long path for the result
    };
    const Case cases[] = {
        {"DirSlash", DirSlash, "", "/"},
        {"DirSlash", DirSlash, "/", "/"},
        {"AddSlash", AddSlash, "", "/"},
        {"DelSlash", DelSlash, "/", ""},
        {"ChangeExt", [](const std::string& S) { return ChangeExt(S, "bak"); }, "/a", "/a.bak"},
        {"ChangeExt", [](const std::string& S) { return ChangeExt(S, "bak"); }, "/a.txt", "/a.bak"},
        {"ParentDir", ParentDir, "/x/y", "/x/"},
        {"ParentDir", ParentDir, "/x/y/", "/x/"},
        {"ExtractFilePath", ExtractFilePath, "/x/y", "/x/"},
        {"StripExt", StripExt, "/x.jdt", "/x"},
    };
    for (size_t len : {254u, 255u, 300u, 5000u}) {
        std::string path;
        while (path.size() < len) path += "/" + std::string(40, 'd');
        path.resize(len);
        if (path.back() == '/') path.back() = 'd';
        for (const Case& c : cases)
            EXPECT_EQ(c.f(path + c.suffix), path + c.want) << c.fn << " of " << len << " bytes";
    }
}

TEST(FileIONames, WildMatchTable) {
    struct Case {
        std::string_view mask, name;
        bool ignoreCase, want;
    };
    const Case cases[] = {
        {"*.txt", "note.txt", false, true},
        {"*.txt", "a.b.txt", false, false}, // the part after the first "." is b.txt
        {"*.*", "file", false, true},
        {"*.*", "a.b", false, true},
        {"a*", "abc", false, true},
        {"ab?", "abc", false, true},
        {"ab?", "abcd", false, false},
        {"ab?", "ab", false, false},
        {"?", "a", false, true},
        {"?", "ab", false, false},
        {"*", ".profile", false, false},
        {"*", "x", false, true},
        {"*txt", "atxt", false, false}, // only "." may follow a "*"
        {"abc", "abc", false, true},
        {"abc", "abcd", false, false},
        {"abcd", "abc", false, false},
        {"N*.TXT", "note.txt", true, true},
        {"n*.txt", "NOTE.TXT", true, true},
        {"N*.TXT", "note.txt", false, false},
        {"\x8E", "\x84", true, false}, // only a-z change case
        // Names and masks with nothing to compare.
        {"", "a", false, false},
        {"", "", false, false},
        {"*", "", false, false},
        {"*.", "file", false, false},
        {"*.", "a.", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WildMatch(std::string(c.mask), std::string(c.name), c.ignoreCase), c.want)
            << "mask \"" << c.mask << "\" name \"" << c.name << "\" ignore " << c.ignoreCase;
}

// The listing pattern, unlike the DOS-style mask, lets "*" run over dots and
// match leading dots; a "*" that first takes too little must try longer runs.
TEST(FileIONames, PatternMatchTable) {
    struct Case {
        std::string_view pattern, name;
        bool want;
    };
    const Case cases[] = {
        {"*.txt", "a.b.txt", true},
        {"*", ".profile", true},
        {"*txt", "atxt", true},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*.TXT", "a.txt", false},
        {"a*b*c", "aXbYbc", true},
        {"a*b*c", "aXbYb", false},
        {"*a", "aaa", true},
        {"**x", "x", true},
        {"x*", "x", true},
        {"*?*", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PatternMatch(c.pattern, c.name), c.want)
            << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
}

// --- Existence, directories -------------------------------------------------

TEST_F(FileIOFiles, FileAndDirExistTable) {
    const std::string file = Put("f.txt", "x");
    fs::create_directory(Path() + "/sub");
    struct Case {
        std::string name;
        bool file, dir;
    };
    const Case cases[] = {
        {file, true, false},
        {Path() + "/sub", false, true},
        {Path() + "/sub///", false, true},
        {Path() + "/missing", false, false},
        {"", false, false},
        {"/", false, true},
        {"/dev/null", true, false}, // devices count as files
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileExists(c.name), c.file) << c.name;
        EXPECT_EQ(DirExists(c.name), c.dir) << c.name;
    }
}

TEST_F(FileIOFiles, ChangeDirTrimsSlashesAndEmptyIsRoot) {
    CwdGuard guard;
    EXPECT_TRUE(ChangeDir(""));
    EXPECT_EQ(fs::current_path(), "/");
    EXPECT_TRUE(ChangeDir(Path() + "///"));
    EXPECT_EQ(fs::current_path(), fs::path(Path()));
    EXPECT_TRUE(ChangeDir("/tmp//"));
    EXPECT_EQ(fs::current_path(), "/tmp");
    EXPECT_FALSE(ChangeDir(Path() + "/missing"));
    EXPECT_EQ(fs::current_path(), "/tmp");
}

TEST_F(FileIOFiles, MakePathCreatesEveryMissingLevel) {
    EXPECT_TRUE(MakePath(Path() + "/a/b/c"));
    EXPECT_TRUE(DirExists(Path() + "/a/b/c"));
    EXPECT_TRUE(MakePath(Path() + "/a/b/c/")); // already there
    EXPECT_TRUE(MakePath(Path() + "/a/x/"));
    EXPECT_TRUE(DirExists(Path() + "/a/x"));
    Put("file", "x");
    EXPECT_FALSE(MakePath(Path() + "/file/below"));
    EXPECT_FALSE(DirExists(Path() + "/file/below"));
}

// --- Retrying operations ------------------------------------------------------

TEST_F(FileIOFiles, IoResetRefusedAccessIsTriedTwentyTimes) {
    // A directory opened for reading and writing fails with EISDIR: code 5.
    TUntypedFile f(Path());
    EXPECT_FALSE(IoReset(f, 1, IoModeShared));
    EXPECT_EQ(IoResultCode, 5);
    EXPECT_EQ(IoAttempts, 20);
    EXPECT_FALSE(f.IsOpen());
}

TEST_F(FileIOFiles, IoResetMissingFileIsTriedOnce) {
    TUntypedFile f(Path() + "/missing");
    EXPECT_FALSE(IoReset(f, 1, IoModeShared));
    EXPECT_EQ(IoResultCode, 2);
    EXPECT_EQ(IoAttempts, 1);
    EXPECT_FALSE(FileExists(Path() + "/missing"));
}

TEST_F(FileIOFiles, ErrorsOtherThanAccessDeniedAreNotRetried) {
    const std::string file = Put("plain", "data");
    struct Case {
        const char* what;
        std::string name;
        int32_t code;
    };
    const Case cases[] = {
        {"name too long", Path() + "/" + std::string(300, 'n'), 3},
        {"file used as a directory keeps ENOTDIR", file + "/x", ENOTDIR},
        {"empty name", "", 2},
    };
    for (const Case& c : cases) {
        TUntypedFile f(c.name);
        EXPECT_FALSE(IoReset(f, 1, IoModeShared)) << c.what;
        EXPECT_EQ(IoResultCode, c.code) << c.what;
        EXPECT_EQ(IoAttempts, 1) << c.what;
    }
}

TEST_F(FileIOFiles, TooManyOpenFilesIsCode4) {
    const std::string file = Put("plain", "data");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = 0; // no descriptor is left to hand out
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    TUntypedFile f(file);
    const bool ok = IoReset(f, 1, IoModeRead);
    const int32_t code = IoResultCode;
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_FALSE(ok);
    EXPECT_EQ(code, 4);
}

// Only a regular file is opened, and the open never waits: a FIFO that no
// other program holds would block a plain open for ever (an alarm ends the
// test program if it does). With its other end held it opens at once, and
// is refused all the same, as is a device; a directory stays code 5.
TEST_F(FileIOFiles, IoResetAndIoRewriteRefuseAnythingButARegularFile) {
    const std::string fifo = Path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* What;
        std::string Name;
        bool Rewrite;
        uint8_t Mode;
        int32_t Code;
    };
    const Case alone[] = {
        {"FIFO without a writer", fifo, false, IoModeRead, EINVAL},
        {"FIFO without a reader, rewritten", fifo, true, IoModeWrite, ENXIO},
    };
    const Case held[] = {
        {"FIFO for reading", fifo, false, IoModeRead, EINVAL},
        {"FIFO for reading and writing", fifo, false, IoModeShared, EINVAL},
        {"FIFO rewritten", fifo, true, IoModeWrite, EINVAL},
        {"character device", "/dev/null", false, IoModeShared, EINVAL},
        {"character device rewritten", "/dev/null", true, IoModeWrite, EINVAL},
    };
    auto check = [](const Case& c) {
        TUntypedFile f(c.Name);
        ::alarm(10);
        const bool ok = c.Rewrite ? IoRewrite(f, 1, c.Mode) : IoReset(f, 1, c.Mode);
        ::alarm(0);
        EXPECT_FALSE(ok) << c.What;
        EXPECT_EQ(IoResultCode, c.Code) << c.What;
        EXPECT_EQ(IoAttempts, 1) << c.What;
        EXPECT_FALSE(f.IsOpen()) << c.What;
    };
    for (const Case& c : alone) check(c);
    const int other = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC); // both ends
    ASSERT_GE(other, 0);
    for (const Case& c : held) check(c);
    ::close(other);
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(FileIORetry, OperationsOnAClosedFileAreCode103) {
    TUntypedFile f("never-opened");
    char buf[8] = {};
    int32_t n = -1;
    EXPECT_FALSE(IoSeek(f, 0));
    EXPECT_EQ(IoResultCode, 103);
    EXPECT_FALSE(IoBlockRead(f, buf, 1, n));
    EXPECT_EQ(IoResultCode, 103);
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(IoBlockWrite(f, buf, 1, n));
    EXPECT_EQ(IoResultCode, 103);
    EXPECT_FALSE(IoReadRec(f, buf));
    EXPECT_EQ(IoResultCode, 103);
    EXPECT_FALSE(IoWriteRec(f, buf));
    EXPECT_EQ(IoResultCode, 103);
    EXPECT_EQ(IoAttempts, 1);
}

TEST_F(FileIOFiles, IoBlockReadNearEndGetsTheRest) {
    const std::string data = Bytes(1000);
    TUntypedFile f(Put("k", data));
    ASSERT_TRUE(IoReset(f, 1, IoModeShared));
    ASSERT_TRUE(IoSeek(f, 900));
    std::vector<char> buf(4096);
    int32_t got = -1;
    EXPECT_TRUE(IoBlockRead(f, buf.data(), 4096, got));
    EXPECT_EQ(got, 100);
    EXPECT_EQ(std::string(buf.data(), 100), data.substr(900));
    EXPECT_TRUE(f.Eof());
    EXPECT_TRUE(IoBlockRead(f, buf.data(), 4096, got));
    EXPECT_EQ(got, 0);
    EXPECT_EQ(IoResultCode, 0);
}

TEST_F(FileIOFiles, ShortLastRecordIsCode100AndEndsTheFile) {
    const std::string data = Bytes(10);
    TUntypedFile f(Put("r", data));
    ASSERT_TRUE(IoReset(f, 4, IoModeRead));
    EXPECT_EQ(f.FileSize(), 2);
    char rec[4];
    ASSERT_TRUE(IoReadRec(f, rec));
    ASSERT_TRUE(IoReadRec(f, rec));
    EXPECT_EQ(std::string(rec, 4), data.substr(4, 4));
    EXPECT_EQ(f.FilePos(), 2);
    EXPECT_FALSE(IoReadRec(f, rec));
    EXPECT_EQ(IoResultCode, 100);
    EXPECT_TRUE(f.Eof()); // a reading loop ends

    // A block read counts whole records only.
    ASSERT_TRUE(IoSeek(f, 0));
    char buf[16];
    int32_t got = -1;
    EXPECT_TRUE(IoBlockRead(f, buf, 4, got));
    EXPECT_EQ(got, 2);
}

TEST_F(FileIOFiles, IoRewriteEmptiesAndWritesRecords) {
    const std::string name = Put("w", "old contents that must go");
    TUntypedFile f(name);
    ASSERT_TRUE(IoRewrite(f, 3, IoModeShared));
    EXPECT_EQ(f.FileSize(), 0);
    int32_t written = -1;
    EXPECT_TRUE(IoBlockWrite(f, "abcdefghi", 3, written));
    EXPECT_EQ(written, 3);
    EXPECT_TRUE(IoWriteRec(f, "xyz"));
    EXPECT_EQ(f.FilePos(), 4);
    ASSERT_TRUE(IoSeek(f, 1));
    char rec[3];
    ASSERT_TRUE(IoReadRec(f, rec));
    EXPECT_EQ(std::string(rec, 3), "def");
    f.Close();
    EXPECT_EQ(ReadFileBytes(name), "abcdefghixyz");
}

TEST_F(FileIOFiles, AccessModeBitsLimitTheHandle) {
    const std::string name = Put("m", "abcd");
    char buf[4];
    int32_t n = 0;
    TUntypedFile f(name);
    ASSERT_TRUE(IoReset(f, 1, 64)); // read only, sharing bits ignored
    EXPECT_FALSE(IoBlockWrite(f, "zz", 2, n));
    EXPECT_EQ(IoResultCode, 6);
    ASSERT_TRUE(IoReset(f, 1, IoModeWrite));
    EXPECT_FALSE(IoBlockRead(f, buf, 2, n));
    EXPECT_EQ(IoResultCode, 6);
    EXPECT_TRUE(IoBlockWrite(f, "zz", 2, n));
    f.Close();
    EXPECT_EQ(ReadFileBytes(name), "zzcd");
}

// Runs Body in a child whose mounts are its own, with Dir a tmpfs of 64 KiB
// that a file "full" fills to the last byte; Body gets that file's path and
// returns a text for the parent. nullopt where no such mount can be made.
std::optional<std::string>
OnFullFileSystem(const std::string& Dir,
                 const std::function<std::string(const std::string&)>& Body) {
    const auto got = WithOwnMounts([&]() -> std::string {
        if (::mount("kv-full", Dir.c_str(), "tmpfs", 0, "size=64k") != 0) return "skip: ";
        const std::string full = Dir + "/full";
        const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, "f", 1) > 0) { // the last page to its last byte
        }
        ::close(fd);
        return Body(full);
    });
    if (!got || got->rfind("skip: ", 0) == 0) return std::nullopt;
    return got;
}

TEST_F(FileIOFiles, WriteToAFullFileSystemIsCode101) {
    const std::string src = Put("src", "data");
    ASSERT_EQ(::mkdir((Path() + "/fs").c_str(), 0700), 0);
    const auto got = OnFullFileSystem(Path() + "/fs", [&](const std::string& Full) {
        std::string r;
        auto note = [&](bool Ok) {
            r += (Ok ? "ok/" : "failed/") + std::to_string(IoResultCode) + " ";
        };
        TUntypedFile f(Full);
        note(IoReset(f, 2, IoModeWrite));
        note(IoSeek(f, f.FileSize()));
        note(IoWriteRec(f, "ab"));
        int32_t written = -1;
        note(IoBlockWrite(f, "abcd", 2, written));
        r += std::to_string(written) + " ";
        f.Close();
        // The target of a copy runs out of room.
        r += CopyFile(src, Path() + "/fs/copy") ? "copied" : "not copied";
        return r;
    });
    if (!got) GTEST_SKIP() << "no tmpfs in a mount namespace of its own here";
    EXPECT_EQ(*got, "ok/0 ok/0 failed/101 failed/101 0 not copied");
}

TEST_F(FileIOFiles, IoSeekToANegativeRecordFails) {
    TUntypedFile f(Put("s", "abc"));
    ASSERT_TRUE(IoReset(f, 1, IoModeRead));
    EXPECT_FALSE(IoSeek(f, -1));
    EXPECT_NE(IoResultCode, 0);
    EXPECT_EQ(f.FilePos(), 0);
}

// --- Copy, rename, erase ------------------------------------------------------

TEST_F(FileIOFiles, CopyFileCopiesAcrossBlocks) {
    const std::string data = Bytes(10000); // two full blocks and a part
    const std::string src = Put("src", data);
    EXPECT_TRUE(CopyFile(src, Path() + "/dst"));
    EXPECT_EQ(ReadFileBytes(Path() + "/dst"), data);
    Put("old", "longer old contents of the target file");
    EXPECT_TRUE(CopyFile(Put("short", "ab"), Path() + "/old"));
    EXPECT_EQ(ReadFileBytes(Path() + "/old"), "ab");
    EXPECT_TRUE(CopyFile(Put("empty", ""), Path() + "/empty2"));
    EXPECT_EQ(ReadFileBytes(Path() + "/empty2"), "");
}

TEST_F(FileIOFiles, CopyFileFailures) {
    const std::string src = Put("src", "data");
    EXPECT_FALSE(CopyFile(Path() + "/missing", Path() + "/dst"));
    EXPECT_FALSE(FileExists(Path() + "/dst"));
    EXPECT_FALSE(CopyFile(src, Path() + "/nodir/dst"));
    EXPECT_FALSE(CopyFile(src, "/dev/full")); // no regular file
}

TEST_F(FileIOFiles, CopyFileOntoItselfKeepsTheFile) {
    const std::string src = Put("src", "precious");
    EXPECT_FALSE(CopyFile(src, src));
    EXPECT_FALSE(CopyFile(src, Path() + "/./src"));
    EXPECT_EQ(ReadFileBytes(src), "precious");
}

TEST_F(FileIOFiles, RenameFileReplacesTheTarget) {
    const std::string oldName = Put("old", "new contents");
    Put("new", "replaced");
    EXPECT_TRUE(RenameFile(oldName, Path() + "/new"));
    EXPECT_FALSE(FileExists(oldName));
    EXPECT_EQ(ReadFileBytes(Path() + "/new"), "new contents");
}

TEST_F(FileIOFiles, RenameFileOntoItselfKeepsTheFile) {
    const std::string name = Put("same", "precious");
    EXPECT_TRUE(RenameFile(name, name));
    EXPECT_TRUE(RenameFile(name, Path() + "/./same"));
    EXPECT_EQ(ReadFileBytes(name), "precious");
}

TEST_F(FileIOFiles, RenameOfMissingFileKeepsTheTarget) {
    const std::string target = Put("target", "precious");
    EXPECT_FALSE(RenameFile(Path() + "/missing", target));
    EXPECT_EQ(ReadFileBytes(target), "precious");
}

TEST_F(FileIOFiles, EraseFileAndEraseAllBut) {
    for (const char* n : {"KEEP.txt", "a", "b.dat", ".hidden"}) Put(n, "x");
    fs::create_directory(Path() + "/sub");
    EXPECT_TRUE(EraseFile(Path() + "/a"));
    EXPECT_FALSE(EraseFile(Path() + "/a"));
    Put("a", "x");
    EraseAllBut(Path() + "/", "keep.TXT");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(Path())) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".hidden", "KEEP.txt", "sub"}));
}

// --- Listings -----------------------------------------------------------------

TEST_F(FileIOFiles, ResolveCaseFindsTheDirectorysSpelling) {
    Put("MixedCase.Txt", "x");
    EXPECT_EQ(ResolveCase(Path() + "/mixedcase.txt"), Path() + "/MixedCase.Txt");
    EXPECT_EQ(ResolveCase(Path() + "/MIXEDCASE.TXT"), Path() + "/MixedCase.Txt");
    EXPECT_EQ(ResolveCase(Path() + "/MixedCase.Txt"), Path() + "/MixedCase.Txt");
    EXPECT_EQ(ResolveCase(Path() + "/other.txt"), Path() + "/other.txt");
    Put("mixedcase.txt", "y"); // the exact spelling wins
    EXPECT_EQ(ResolveCase(Path() + "/mixedcase.txt"), Path() + "/mixedcase.txt");
}

TEST_F(FileIOFiles, ResolveCaseKeepsADeepPathWhole) {
    std::string deep = Path();
    while (deep.size() <= 300) deep += "/" + std::string(50, 'd');
    fs::create_directories(deep);
    WriteFileBytes(deep + "/MixedCase.Txt", "x");
    EXPECT_EQ(ResolveCase(deep + "/mixedcase.txt"), deep + "/MixedCase.Txt");
    EXPECT_EQ(ResolveCase(deep + "/other.txt"), deep + "/other.txt");
}

TEST_F(FileIOFiles, CountFilesCountsEveryNonDirectory) {
    EXPECT_EQ(CountFiles(Path() + "/"), 0);
    for (const char* n : {"a", "b.txt", ".hidden"}) Put(n, "x");
    fs::create_directory(Path() + "/sub");
    fs::create_directory(Path() + "/.hiddendir");
    EXPECT_EQ(CountFiles(Path() + "/"), 3);
    EXPECT_EQ(CountFiles(Path() + "/missing/"), 0);
}

TEST_F(FileIOFiles, FileSizeOfTakesTheFirstListedEntry) {
    Put("x.bin", std::string(1234, 'x'));
    Put("other.txt", "ab");
    struct Case {
        std::string name;
        int64_t want;
    };
    const Case cases[] = {
        {Path() + "/x.bin", 1234}, {Path() + "/?.bin", 1234},
        {Path() + "/*.bin", 1234}, {Path() + "/*.BIN", 0}, // listing patterns are case-sensitive
        {Path() + "/*.txt", 2},    {Path() + "/missing", 0},
        {Path() + "/", 0}, // empty pattern lists nothing
    };
    for (const Case& c : cases) EXPECT_EQ(FileSizeOf(c.name), c.want) << c.name;
}

TEST_F(FileIOFiles, CurrentDirFollowsChdirAtAnyDepth) {
    CwdGuard guard;
    const std::string base = fs::canonical(Path()).string();
    ASSERT_EQ(::chdir(base.c_str()), 0);
    EXPECT_EQ(CurrentDir(), base);
    // Deeper than a first 4096-byte buffer holds: the answer still comes whole.
    const std::string part(200, 'd');
    std::string want = base;
    int depth = 0;
    while (want.size() <= 5000 && ::mkdir(part.c_str(), 0700) == 0 && ::chdir(part.c_str()) == 0) {
        want += "/" + part;
        ++depth;
    }
    EXPECT_GT(want.size(), 5000u);
    EXPECT_EQ(CurrentDir(), want);
    // Relative steps back: the whole path is too long for the calls that take one.
    for (; depth > 0; --depth) {
        ASSERT_EQ(::chdir(".."), 0);
        ASSERT_EQ(::rmdir(part.c_str()), 0);
    }
    // A current directory that was removed has no name.
    ASSERT_EQ(::mkdir("gone", 0700), 0);
    ASSERT_EQ(::chdir("gone"), 0);
    ASSERT_EQ(::rmdir((base + "/gone").c_str()), 0);
    EXPECT_EQ(CurrentDir(), "");
}

TEST(FileIOProgram, ExecutablePathNamesTheRunningFile) {
    const std::string exe = ExecutablePath();
    EXPECT_EQ(exe, fs::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(ExtractFileName(exe), "FileIOTest");
    EXPECT_TRUE(FileExists(exe));
}

// The program's own name and directory, as copies of this test program put
// under names the test knows report them: the name loses its extension (a
// "." in a directory counts as one), the directory ends in "/", and a path
// deeper than 255 bytes stays whole. A copy runs this same test, which then
// only compares.
TEST_F(FileIOFiles, NameAndDirOfTheRunningProgram) {
    const char* wantName = std::getenv("KV_WANT_PROGRAM_NAME");
    const char* wantDir = std::getenv("KV_WANT_PROGRAM_DIR");
    if (wantName && wantDir) { // in a copy
        EXPECT_EQ(ProgramName(), wantName);
        EXPECT_EQ(ProgramDir(), wantDir);
        return;
    }
    std::string deep = Path();
    while (deep.size() <= 300) deep += "/" + std::string(50, 'd');
    struct Case {
        std::string Dir, File, Name; // Name: what ProgramName gives
    };
    const Case cases[] = {
        {Path() + "/bin/", "Prog.exe", Path() + "/bin/Prog"},
        {Path() + "/my.dir/", "Prog", Path() + "/my"},
        {deep + "/", "Prog", deep + "/Prog"},
    };
    const std::string log = *this / "copy.log";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Dir + c.File);
        fs::create_directories(c.Dir);
        fs::copy_file(fs::read_symlink("/proc/self/exe"), c.Dir + c.File);
        const int rc = std::system(
            ("KV_WANT_PROGRAM_NAME='" + c.Name + "' KV_WANT_PROGRAM_DIR='" + c.Dir +
             "' " KV_TEST_EMULATOR " '" + c.Dir + c.File +
             "' --gtest_filter=FileIOFiles.NameAndDirOfTheRunningProgram >'" + log + "' 2>&1")
                .c_str());
        ASSERT_NE(rc, -1);
        // 126 and 127: the copy cannot be started here.
        if (WIFEXITED(rc) && WEXITSTATUS(rc) >= 126) GTEST_SKIP() << "cannot start the copy";
        std::ifstream in(log);
        const std::string out((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
        EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << out;
        EXPECT_NE(out.find("[       OK ] FileIOFiles.NameAndDirOfTheRunningProgram"),
                  std::string::npos)
            << out;
    }
}

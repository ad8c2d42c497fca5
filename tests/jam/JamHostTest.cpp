// Bases on a shared host: files another program renamed over the open ones,
// a base this user may only read, FIFOs where the base's files belong, a
// base on a read-only file system and new files on another file system.

#include "jam/JamBase.h"
#include "support/FileDesc.h"
#include "tests/common/JamFixture.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Runs Fn in a child process and returns its result; -1 when the child was
// still running after a minute and had to be killed: an open that blocks
// would otherwise hang the whole test run.
int InBoundedChild(const std::function<int()>& Fn) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(Fn());
    for (int i = 0; i < 6000; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

JamFixture ThreeMessages() {
    JamFixture f(BaseHdrFields{.ActiveMsgs = 3});
    f.AddSimple("a", "b", "one", "first text\r");
    f.AddSimple("c", "d", "two", "second\r");
    f.AddSimple("e", "f", "three", "third text\r");
    return f;
}

// A packer writes a new base beside the open one and renames its files over
// the names; the open descriptors still reach the old, unlinked files.
struct ReplacedTest : JamBaseTest {
    JamFixture Fresh;
    void SetUp() override {
        ASSERT_TRUE(WriteAndOpen(ThreeMessages()));
        Fresh = JamFixture(BaseHdrFields{.ModCounter = 50, .ActiveMsgs = 1});
        Fresh.AddSimple("new", "base", "packed", "the only text\r");
        Fresh.Write(Dir / "fresh");
    }
    void RenameOver(const char* Ext) {
        ASSERT_EQ(::rename((Dir / "fresh").append(Ext).c_str(), (Base + Ext).c_str()), 0);
    }
};

TEST_F(ReplacedTest, AChangeIsRefusedAndTheNewBaseIsTakenOnReopen) {
    EXPECT_FALSE(B.Replaced());
    for (const char* ext : {".jhr", ".jdx", ".jdt"}) RenameOver(ext);
    EXPECT_TRUE(B.Replaced());
    const BaseFiles fresh = ReadBaseFiles(Base);
    for (bool purge : {false, true}) {
        EXPECT_FALSE(B.DeleteMsg(1, purge));
        EXPECT_EQ(B.Refusal, TJamRefusal::jrReplaced);
        EXPECT_EQ(ReadBaseFiles(Base), fresh);
    }
    ASSERT_TRUE(B.Reopen());
    EXPECT_FALSE(B.Replaced());
    EXPECT_EQ(B.TotalMsgs, 1);
    EXPECT_EQ(B.BaseHdr.ModCounter, 50);
    ASSERT_TRUE(B.ReadMessage(1));
    EXPECT_EQ(B.MsgSubj, "packed");
    ASSERT_TRUE(B.DeleteMsg(1, false)); // the change now lands in the files at the names
    ASSERT_TRUE(B.ReadHeader(1));
    EXPECT_TRUE(B.IsDeleted());
    EXPECT_EQ(GetLe32(ReadFileBytes(Base + ".jhr"), 12), 0); // ActiveMsgs
}

// A packer between its renames: the names hold a mix of its files and the
// open ones, whose headers point into the other text. One name moved is enough
// to refuse every change, and no mix is taken as a base: the open files stay,
// each header read with its own text, until all three names have moved on.
TEST_F(ReplacedTest, AMixOfOldAndNewFilesIsNoBaseToTake) {
    const std::vector<std::vector<const char*>> mixes = {
        {".jhr"}, {".jdx"}, {".jdt"}, {".jhr", ".jdx"}, {".jhr", ".jdt"}, {".jdx", ".jdt"}};
    for (const auto& moved : mixes) {
        SCOPED_TRACE(testing::PrintToString(moved));
        ASSERT_TRUE(WriteAndOpen(ThreeMessages()));
        Fresh.Write(Dir / "fresh");
        for (const char* ext : moved) RenameOver(ext);
        const BaseFiles named = ReadBaseFiles(Base);
        EXPECT_TRUE(B.Replaced());
        EXPECT_FALSE(B.Reopen());
        EXPECT_EQ(B.TotalMsgs, 3);
        EXPECT_EQ(B.BaseHdr.ModCounter, 7);
        ASSERT_TRUE(B.ReadMessage(2));
        EXPECT_EQ(B.MsgSubj, "two");
        EXPECT_EQ(B.MsgText.Count() == 1 ? B.MsgText.Get(0) : "", "second");
        for (bool purge : {false, true}) {
            EXPECT_FALSE(B.DeleteMsg(2, purge));
            EXPECT_EQ(B.Refusal, TJamRefusal::jrReplaced);
        }
        EXPECT_EQ(ReadBaseFiles(Base), named);
    }
}

// The new files must open as a base: a header file without the signature is
// none, and the open base reads on.
TEST_F(ReplacedTest, ANewHeaderWithoutTheSignatureIsNotTaken) {
    WriteFileBytes(Dir / "fresh.jhr", "JAX" + ReadFileBytes(Dir / "fresh.jhr").substr(3));
    for (const char* ext : {".jhr", ".jdx", ".jdt"}) RenameOver(ext);
    EXPECT_FALSE(B.Reopen());
    EXPECT_EQ(B.TotalMsgs, 3);
    ASSERT_TRUE(B.ReadMessage(3));
    EXPECT_EQ(B.MsgSubj, "three");
    EXPECT_EQ(B.MsgText.Count() == 1 ? B.MsgText.Get(0) : "", "third text");
}

// Whether the base may be written is a matter of the files taken: a base
// taken anew is read-only, or writable, as its own files are, whatever the
// old ones were. As root, files are opened as user 65534 (setfsuid).
TEST_F(ReplacedTest, ReadOnlyFollowsTheFilesTakenAnew) {
    ASSERT_EQ(::chmod(Dir.Path().c_str(), 0777), 0);
    const mode_t shut = ::geteuid() == 0 ? 0644 : 0444;
    auto setModes = [](const std::string& Path, mode_t Mode) {
        for (const char* ext : {".jhr", ".jdx", ".jdt"})
            ASSERT_EQ(::chmod((Path + ext).c_str(), Mode), 0);
    };
    for (bool oldShut : {true, false}) {
        SCOPED_TRACE(oldShut ? "read-only to writable" : "writable to read-only");
        ThreeMessages().Write(Base);
        setModes(Base, oldShut ? shut : 0666);
        Fresh.Write(Dir / "fresh");
        setModes(Dir / "fresh", oldShut ? 0666 : shut);
        const FileAccessAsOtherUser other;
        {
            TFileStream probe;
            if (probe.Open(oldShut ? Base + ".jhr" : Dir / "fresh.jhr", fmOpenReadWrite))
                GTEST_SKIP() << "file modes refuse nothing here";
        }
        B.BasePath = Base;
        ASSERT_TRUE(B.Open());
        EXPECT_EQ(B.ReadOnly, oldShut);
        for (const char* ext : {".jhr", ".jdx", ".jdt"}) RenameOver(ext);
        ASSERT_TRUE(B.Reopen());
        EXPECT_EQ(B.ReadOnly, !oldShut);
        EXPECT_EQ(B.DeleteMsg(1, false), oldShut);
        EXPECT_EQ(B.Refusal, oldShut ? TJamRefusal::jrNone : TJamRefusal::jrReadOnly);
    }
}

// A name that is gone (a packer between its renames) is no base to take: the
// open files stay and still read, and changes stay refused.
TEST_F(ReplacedTest, AMissingNameKeepsTheOpenBase) {
    ASSERT_EQ(::unlink((Base + ".jdx").c_str()), 0);
    EXPECT_TRUE(B.Replaced());
    EXPECT_FALSE(B.Reopen());
    EXPECT_EQ(B.TotalMsgs, 3);
    ASSERT_TRUE(B.ReadMessage(2));
    EXPECT_EQ(B.MsgSubj, "two");
    EXPECT_FALSE(B.DeleteMsg(2, false));
    EXPECT_EQ(B.Refusal, TJamRefusal::jrReplaced);
}

// The tosser's base, mode 644: another user reads it, and a deletion is
// refused before anything is written. As root, whom modes refuse nothing,
// the files are opened as user 65534 (setfsuid, this thread only).
TEST_F(JamBaseTest, ABaseThisUserMayOnlyReadOpensForReading) {
    const JamFixture f = ThreeMessages();
    f.Write(Base);
    ASSERT_EQ(::chmod(Dir.Path().c_str(), 0755), 0);
    // As another user the tosser's mode 644 refuses writing; as the owner,
    // only a mode without the write bit does.
    const mode_t mode = ::geteuid() == 0 ? 0644 : 0444;
    for (const char* ext : {".jhr", ".jdx", ".jdt"})
        ASSERT_EQ(::chmod((Base + ext).c_str(), mode), 0);
    const BaseFiles before = ReadBaseFiles(Base);
    const FileAccessAsOtherUser other;
    {
        TFileStream probe;
        if (probe.Open(Base + ".jhr", fmOpenReadWrite))
            GTEST_SKIP() << "file access as another user is not possible here";
    }
    B.BasePath = Base;
    ASSERT_TRUE(B.Open());
    EXPECT_TRUE(B.ReadOnly);
    EXPECT_EQ(B.TotalMsgs, 3);
    ASSERT_TRUE(B.ReadMessage(3));
    EXPECT_EQ(B.MsgSubj, "three");
    ASSERT_EQ(B.MsgText.Count(), 1);
    EXPECT_EQ(B.MsgText.Get(0), "third text");
    for (bool purge : {false, true}) {
        EXPECT_FALSE(B.DeleteMsg(3, purge));
        EXPECT_EQ(B.Refusal, TJamRefusal::jrReadOnly);
    }
    EXPECT_EQ(ReadBaseFiles(Base), before);
}

// Anyone who may write the directory can put a FIFO where a base file
// belongs. Nothing blocks on it: the base does not open (with the usual
// message), and a last-read lookup or update finds nothing.
TEST_F(JamBaseTest, AFifoInPlaceOfAFileIsRefusedWithoutBlocking) {
    for (const char* ext : {".jhr", ".jdx", ".jdt"}) {
        SCOPED_TRACE(ext);
        ThreeMessages().Write(Base);
        ASSERT_EQ(::unlink((Base + ext).c_str()), 0);
        ASSERT_EQ(::mkfifo((Base + ext).c_str(), 0666), 0);
        const int rc = InBoundedChild([&] {
            TJamBase b;
            b.BasePath = Base;
            bool opened = true;
            const std::string out = CaptureStdout([&] { opened = b.Open(); });
            return !opened && out == "\nError on Init\n" ? 0 : 1;
        });
        EXPECT_EQ(rc, 0);
        ASSERT_EQ(::unlink((Base + ext).c_str()), 0);
    }
    ThreeMessages().Write(Base);
    ASSERT_EQ(::mkfifo((Base + ".jlr").c_str(), 0666), 0);
    const int rc = InBoundedChild([&] {
        TJamBase b;
        b.BasePath = Base;
        if (!b.Open()) return 1;
        JamLastType rec;
        const bool none = !b.FindLastRead(0x1234, rec) && b.HighReadById(1) == -1 &&
                          b.HighReadByCrc(1) == -1 && !b.SetLastRead(1, 2);
        b.ClearLastRead(1);
        return none ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
    struct stat st {};
    ASSERT_EQ(::lstat((Base + ".jlr").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// What DeleteMsg(MsgNo) answers without and with purging.
std::string DeleteAnswers(TJamBase& B, int32_t MsgNo) {
    std::string r;
    for (bool purge : {false, true}) {
        r += purge ? ", purge " : "delete ";
        r += B.DeleteMsg(MsgNo, purge) ? "done" : "refused " + std::to_string(int(B.Refusal));
    }
    return r;
}
std::string BothRefused(TJamRefusal R) {
    const std::string why = std::to_string(int(R));
    return "delete refused " + why + ", purge refused " + why;
}

// A base on a file system mounted read-only (a snapshot, a share exported
// so): writing is refused with EROFS rather than EACCES, and the base still
// opens for reading.
TEST_F(JamBaseTest, ABaseOnAReadOnlyFileSystemOpensForReading) {
    ThreeMessages().Write(Base);
    const BaseFiles before = ReadBaseFiles(Base);
    const std::optional<std::string> seen = WithOwnMounts([&]() -> std::string {
        const char* dir = Dir.Path().c_str();
        if (::mount(dir, dir, nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, dir, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return "skip: no read-only bind mount here";
        TFileDesc probe;
        if (probe.Open(Base + ".jhr", O_RDWR) || errno != EROFS)
            return "skip: the read-only mount does not refuse writing with EROFS";
        TJamBase b;
        b.BasePath = Base;
        bool opened = false;
        CaptureStdout([&] { opened = b.Open(); });
        if (!opened) return "not opened";
        std::string r = b.ReadOnly ? "read-only, " : "writable, ";
        r += std::to_string(b.TotalMsgs) + " messages, ";
        if (b.ReadMessage(3) && b.MsgText.Count() == 1)
            r += "'" + b.MsgSubj + "': '" + b.MsgText.Get(0) + "', ";
        return r + DeleteAnswers(b, 3);
    });
    if (!seen) GTEST_SKIP() << "no mount namespace of its own here";
    if (seen->starts_with("skip: ")) GTEST_SKIP() << seen->substr(6);
    EXPECT_EQ(*seen, "read-only, 3 messages, 'three': 'third text', " +
                         BothRefused(TJamRefusal::jrReadOnly));
    EXPECT_EQ(ReadBaseFiles(Base), before);
}

// New files at the names may carry the very inode numbers of the open ones
// when they lie on another file system (a fresh one mounted over the base's
// directory): only the device tells them apart. Two fresh tmpfs mounts
// number the files written into them alike.
TEST_F(JamBaseTest, AReplacementOnAnotherFileSystemWithTheSameInodesIsFound) {
    const std::string fs = Dir / "fs";
    ASSERT_EQ(::mkdir(fs.c_str(), 0755), 0);
    const std::optional<std::string> seen = WithOwnMounts([&]() -> std::string {
        const std::string base = fs + "/base";
        if (::mount("kv-old", fs.c_str(), "tmpfs", 0, nullptr) != 0)
            return "skip: cannot mount a tmpfs here";
        ThreeMessages().Write(base);
        TJamBase b;
        b.BasePath = base;
        if (!b.Open()) return "the first base does not open";
        const TFileStream* held[] = {b.HdrStream.get(), b.IdxStream.get(), b.TxtStream.get()};
        struct stat64 old[3]{};
        for (int i = 0; i < 3; ++i)
            if (::fstat64(held[i]->Fd(), &old[i]) != 0) return "no status of an open file";
        if (::mount("kv-new", fs.c_str(), "tmpfs", 0, nullptr) != 0)
            return "skip: cannot mount a second tmpfs here";
        ThreeMessages().Write(base); // the same files in the same order
        const char* exts[] = {".jhr", ".jdx", ".jdt"};
        for (int i = 0; i < 3; ++i) {
            struct stat64 now {};
            if (::stat64((base + exts[i]).c_str(), &now) != 0) return "a new file is missing";
            if (now.st_ino != old[i].st_ino)
                return "skip: fresh tmpfs mounts number their files differently here";
            if (now.st_dev == old[i].st_dev) return "both tmpfs mounts have one device";
        }
        return (b.Replaced() ? "replaced, " : "not replaced, ") + DeleteAnswers(b, 1);
    });
    if (!seen) GTEST_SKIP() << "no mount namespace of its own here";
    if (seen->starts_with("skip: ")) GTEST_SKIP() << seen->substr(6);
    EXPECT_EQ(*seen, "replaced, " + BothRefused(TJamRefusal::jrReplaced));
}

} // namespace

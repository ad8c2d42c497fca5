// Two writers on one base: a forked child plays the other JAM program.

#include "jam/JamBase.h"
#include "tests/common/JamFixture.h"

#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Runs Fn in a child process and returns its exit code (Fn's result).
int InChild(const std::function<int()>& Fn) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(Fn());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool LockByte0(int Fd, short Type) {
    struct flock fl {};
    fl.l_type = Type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    return ::fcntl(Fd, F_SETLK, &fl) == 0;
}

// True when another process can take the JAM lock right now.
bool LockIsFree(const std::string& Hdr) {
    return InChild([&] {
               int fd = ::open(Hdr.c_str(), O_RDWR);
               return fd >= 0 && LockByte0(fd, F_WRLCK) ? 0 : 1;
           }) == 0;
}

// A child that holds the JAM lock from construction until destruction.
class LockHolder {
public:
    explicit LockHolder(const std::string& Hdr) {
        if (::pipe(FReady) != 0 || ::pipe(FRelease) != 0) throw std::runtime_error("pipe");
        FPid = ::fork();
        if (FPid == 0) {
            int fd = ::open(Hdr.c_str(), O_RDWR);
            char c = fd >= 0 && LockByte0(fd, F_WRLCK) ? 'L' : 'F';
            (void)!::write(FReady[1], &c, 1);
            (void)!::read(FRelease[0], &c, 1);
            ::_exit(0);
        }
        char c = 0;
        (void)!::read(FReady[0], &c, 1);
        Locked = c == 'L';
    }
    ~LockHolder() {
        char c = 'x';
        (void)!::write(FRelease[1], &c, 1);
        ::waitpid(FPid, nullptr, 0);
        for (int fd : {FReady[0], FReady[1], FRelease[0], FRelease[1]}) ::close(fd);
    }
    bool Locked = false;

private:
    pid_t FPid = -1;
    int FReady[2] = {-1, -1};
    int FRelease[2] = {-1, -1};
};

struct ConcurrencyTest : ::testing::Test {
    TempDir Dir;
    std::string Base = Dir / "base";
    std::string TextFile = Dir / "text.txt";
    TJamBase B;
    RecEchoMailAddr None{};

    void SetUp() override {
        ASSERT_EQ(TJamBase::CreateBase(Dir.Path(), "base"), JamOk);
        WriteFileBytes(TextFile, "some text");
        WriteFileBytes(Base + ".jlr", LastBytes(5, 5, 1, 1));
        B.BasePath = Base;
        ASSERT_TRUE(B.Open());
        ASSERT_EQ(B.AddMessage("a", "b", "one", None, None, TextFile), JamOk);
        ASSERT_EQ(B.AddMessage("c", "d", "two", None, None, TextFile), JamOk);
    }
};

// Without the lock and the fresh read under it, the deletion would write back
// the base header read before the child's message was added.
TEST_F(ConcurrencyTest, DeleteKeepsAnotherWritersActiveMsgsAndModCounter) {
    ASSERT_EQ(B.BaseHdr.ActiveMsgs, 2);
    ASSERT_EQ(B.BaseHdr.ModCounter, 2);
    int code = InChild([&] {
        TJamBase other;
        other.BasePath = Base;
        if (!other.Open()) return 10;
        return other.AddMessage("x", "y", "from the child", None, None, TextFile) == JamOk ? 0 : 11;
    });
    ASSERT_EQ(code, 0);
    ASSERT_TRUE(B.DeleteMsg(1, false));
    TJamBase r;
    r.BasePath = Base;
    ASSERT_TRUE(r.Open());
    EXPECT_EQ(r.BaseHdr.ActiveMsgs, 2);
    EXPECT_EQ(r.BaseHdr.ModCounter, 4);
    EXPECT_EQ(B.BaseHdr, r.BaseHdr);
    EXPECT_EQ(B.TotalMsgs, 3);
    ASSERT_TRUE(r.ReadHeader(3));
    EXPECT_EQ(r.MsgSubj, "from the child");
}

constexpr int64_t AttributeAt = 52, TxtLenAt = 64; // offsets in a message header

// Reading leaves young bytes in the buffers; a deletion right after it must
// still act on what the files hold now.
TEST_F(ConcurrencyTest, DeleteRightAfterAReadSeesAnotherWritersDeletion) {
    ASSERT_TRUE(B.ReadMessage(1));
    ASSERT_TRUE(B.ReadMessage(2));
    int32_t at = GetLe32(ReadFileBytes(Base + ".jdx"), 4);
    uint32_t attr = uint32_t(GetLe32(ReadFileBytes(Base + ".jhr"), std::size_t(at + AttributeAt)));
    // Another program deletes message 1 and counts it in the base header.
    PatchFileBytes(Base + ".jhr", at + AttributeAt, Le32(attr | MSG_DELETED));
    PatchFileBytes(Base + ".jhr", at + TxtLenAt, Le32(0));
    PatchFileBytes(Base + ".jhr", 8, Le32(3));  // ModCounter
    PatchFileBytes(Base + ".jhr", 12, Le32(1)); // ActiveMsgs
    ASSERT_TRUE(B.DeleteMsg(1, false));
    std::string hdr = ReadFileBytes(Base + ".jhr");
    EXPECT_EQ(GetLe32(hdr, 12), 1); // not lowered a second time
    EXPECT_EQ(GetLe32(hdr, 8), 4);
    EXPECT_EQ(B.BaseHdr.ActiveMsgs, 1);
}

TEST_F(ConcurrencyTest, DeleteRightAfterAReadFollowsAHeaderMovedByAnotherWriter) {
    ASSERT_TRUE(B.ReadMessage(1));
    ASSERT_TRUE(B.ReadMessage(2));
    std::string idx = ReadFileBytes(Base + ".jdx");
    std::string hdr = ReadFileBytes(Base + ".jhr");
    int32_t at1 = GetLe32(idx, 4), at2 = GetLe32(idx, 12);
    std::string msg1 = hdr.substr(std::size_t(at1), std::size_t(at2 - at1));
    // Another program rewrites message 1 at the end of the header file and
    // points its index record there.
    int64_t moved = int64_t(hdr.size());
    PatchFileBytes(Base + ".jhr", moved, msg1);
    PatchFileBytes(Base + ".jdx", 4, Le32(uint32_t(moved)));
    ASSERT_TRUE(B.DeleteMsg(1, false));
    EXPECT_EQ(B.CurHdrOffset, moved);
    hdr = ReadFileBytes(Base + ".jhr");
    EXPECT_EQ(hdr.substr(std::size_t(at1), msg1.size()), msg1); // the old copy untouched
    EXPECT_NE(uint32_t(GetLe32(hdr, std::size_t(moved + AttributeAt))) & MSG_DELETED, 0u);
}

TEST_F(ConcurrencyTest, ChangesFailAndWriteNothingWhileAnotherProcessHoldsTheLock) {
    BaseFiles before = ReadBaseFiles(Base);
    {
        LockHolder holder(Base + ".jhr");
        ASSERT_TRUE(holder.Locked);
        EXPECT_FALSE(B.DeleteMsg(1, true));
        EXPECT_EQ(B.AddMessage("e", "f", "three", None, None, TextFile), JamErrLocked);
        EXPECT_FALSE(B.SetLastRead(6, 2));
        B.ClearLastRead(5);
        TJamBase closed; // the last-read writes of a base that is not open
        closed.BasePath = Base;
        EXPECT_FALSE(closed.SetLastRead(5, 9));
        closed.ClearLastRead(5);
        EXPECT_EQ(ReadBaseFiles(Base), before);
    }
    EXPECT_TRUE(B.DeleteMsg(1, true)); // the lock is free again
    EXPECT_NE(ReadBaseFiles(Base), before);
}

TEST_F(ConcurrencyTest, EveryChangeReleasesTheLock) {
    std::string hdr = Base + ".jhr";
    ASSERT_TRUE(LockIsFree(hdr)); // after the two messages of SetUp
    ASSERT_TRUE(B.DeleteMsg(2, true));
    EXPECT_TRUE(LockIsFree(hdr));
    ASSERT_TRUE(B.SetLastRead(7, 1));
    B.ClearLastRead(7);
    EXPECT_TRUE(LockIsFree(hdr));
    TJamBase closed;
    closed.BasePath = Base;
    ASSERT_TRUE(closed.SetLastRead(8, 1));
    EXPECT_TRUE(LockIsFree(hdr));
    // The base stays usable: its descriptors were not closed by the lock.
    ASSERT_TRUE(B.ReadHeader(1));
    EXPECT_EQ(B.MsgSubj, "one");
}

} // namespace

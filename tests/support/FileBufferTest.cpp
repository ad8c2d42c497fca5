#include "support/FileIO.h"
#include "tests/common/TempDirFixture.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

using enum TFileBufferOpenType;

class FileBuffer : public TempDirTest {
protected:
    // Changes the file behind the buffer's back.
    static void Poke(const std::string& Full, off_t At, const std::string& Bytes) {
        const int fd = ::open(Full.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, Bytes.data(), Bytes.size(), At), static_cast<ssize_t>(Bytes.size()));
        ::close(fd);
    }
};

std::string Bytes(size_t N) {
    std::string s(N, '\0');
    for (size_t i = 0; i < N; ++i) s[i] = static_cast<char>('A' + i % 26 + (i / 26) % 2 * 32);
    return s;
}

} // namespace

TEST(FileBufferCreate, BufSizeIsClampedToOneThrough64K) {
    EXPECT_EQ(TFileBuffer(0).BufSize, 1);
    EXPECT_EQ(TFileBuffer(-5).BufSize, 1);
    EXPECT_EQ(TFileBuffer(100000).BufSize, 65536);
    TFileBuffer b(4096);
    EXPECT_EQ(b.BufSize, 4096);
    EXPECT_EQ(b.RecSize, 1);
    EXPECT_FALSE(b.IsOpen);
    EXPECT_EQ(b.Buffer.get(), nullptr);
}

TEST_F(FileBuffer, ReadByteCrossesTheBufferEnd) {
    const std::string data = Bytes(40);
    TFileBuffer b(16);
    ASSERT_TRUE(b.Open(Put("r", data), 1, fmOpen, IoModeRead));
    std::string seen;
    while (!b.Eof() && seen.size() < 100) seen += b.ReadByte();
    EXPECT_EQ(seen, data);
    EXPECT_EQ(b.GetPos(), 40);
    // At the end ReadByte gives #0 and stays there.
    EXPECT_EQ(b.ReadByte(), '\0');
    EXPECT_EQ(b.GetPos(), 40);
    EXPECT_TRUE(b.Eof());
}

TEST_F(FileBuffer, WriteCrossingTheBufferEndKeepsTheRestUntilClose) {
    const std::string data = Bytes(20);
    const std::string name = Path() + "/w";
    TFileBuffer b(16);
    ASSERT_TRUE(b.Open(name, 1, fmCreate, IoModeShared));
    b.WriteBlock(data.data(), 20);
    EXPECT_EQ(ReadFileBytes(name), data.substr(0, 16)); // the full buffer went out
    EXPECT_TRUE(b.Dirty);
    EXPECT_EQ(b.GetPos(), 20);
    b.Close();
    EXPECT_EQ(ReadFileBytes(name), data);
    EXPECT_EQ(b.Buffer.get(), nullptr);
}

TEST_F(FileBuffer, WriteBlockLargerThanTheBufferStaysInside) {
    const std::string data = Bytes(100);
    const std::string name = Path() + "/big";
    {
        TFileBuffer b(16);
        ASSERT_TRUE(b.Open(name, 1, fmCreate, IoModeShared));
        b.WriteBlock("xyz", 3);
        b.WriteBlock(data.data(), 100);
        EXPECT_EQ(b.GetPos(), 103);
        EXPECT_LE(b.BufLen, b.BufSize);
        EXPECT_EQ(b.GetSize(), 103);
    } // the destructor closes
    EXPECT_EQ(ReadFileBytes(name), "xyz" + data);
}

TEST_F(FileBuffer, AppendStartsAtTheEnd) {
    const std::string name = Put("a", Bytes(1000));
    TFileBuffer b(256);
    ASSERT_TRUE(b.Open(name, 1, fmOpenAppend, IoModeShared));
    EXPECT_EQ(b.GetPos(), 1000);
    EXPECT_TRUE(b.Eof());
    b.WriteBlock("0123456789", 10);
    EXPECT_EQ(b.GetSize(), 1010);
    b.Close();
    EXPECT_EQ(ReadFileBytes(name), Bytes(1000) + "0123456789");
}

TEST_F(FileBuffer, OpenCreateMakesAMissingFileAndKeepsAnExistingOne) {
    TFileBuffer b(64);
    ASSERT_TRUE(b.Open(Path() + "/new", 1, fmOpenCreate, IoModeShared));
    EXPECT_TRUE(FileExists(Path() + "/new"));
    EXPECT_EQ(b.GetSize(), 0);
    EXPECT_TRUE(b.Eof());
    const std::string old = Put("old", "keep me");
    ASSERT_TRUE(b.Open(old, 1, fmOpenCreate, IoModeShared));
    EXPECT_EQ(b.GetSize(), 7);
    EXPECT_EQ(b.ReadByte(), 'k');
    b.Close();
    EXPECT_EQ(ReadFileBytes(old), "keep me");
}

TEST_F(FileBuffer, OpenCreateOnSomethingThatCannotBeOpenedFails) {
    fs::create_directory(Path() + "/dir");
    TFileBuffer b(64);
    EXPECT_FALSE(b.Open(Path() + "/dir", 1, fmOpenCreate, IoModeShared));
    EXPECT_EQ(IoResultCode, 5);
    EXPECT_EQ(IoAttempts, 20);
    EXPECT_FALSE(b.IsOpen);
    EXPECT_EQ(b.Buffer.get(), nullptr);
    EXPECT_TRUE(DirExists(Path() + "/dir"));
}

TEST_F(FileBuffer, OpenOfMissingFileFailsAndCreateEmpties) {
    TFileBuffer b(64);
    EXPECT_FALSE(b.Open(Path() + "/missing", 1, fmOpen, IoModeShared));
    EXPECT_FALSE(FileExists(Path() + "/missing"));
    EXPECT_TRUE(b.Eof()); // a closed buffer ends every reading loop
    EXPECT_EQ(b.ReadByte(), '\0');
    const std::string name = Put("full", "contents");
    ASSERT_TRUE(b.Open(name, 1, fmCreate, IoModeShared));
    EXPECT_EQ(b.GetSize(), 0);
}

TEST_F(FileBuffer, ReadBlockExDeliversAtMostOneBuffer) {
    const std::string data = Bytes(100);
    TFileBuffer b(16);
    ASSERT_TRUE(b.Open(Put("r", data), 1, fmOpen, IoModeRead));
    char dest[64];
    int32_t got = -1;
    b.ReadBlockEx(dest, 50, got);
    EXPECT_EQ(got, 16);
    EXPECT_EQ(std::string(dest, 16), data.substr(0, 16));
    b.ReadBlockEx(dest, 50, got);
    EXPECT_EQ(got, 16);
    EXPECT_EQ(std::string(dest, 16), data.substr(16, 16));
    b.Seek(96);
    b.ReadBlockEx(dest, 50, got);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(std::string(dest, 4), data.substr(96));
    b.ReadBlockEx(dest, 50, got);
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(b.Eof());
    b.ReadBlockEx(dest, -3, got);
    EXPECT_EQ(got, 0);
}

TEST_F(FileBuffer, SeekInsideTheBufferDoesNoIo) {
    const std::string name = Put("s", std::string(40, 'A'));
    TFileBuffer b(64);
    ASSERT_TRUE(b.Open(name, 1, fmOpen, IoModeShared));
    b.WriteBlock("x", 1);
    Poke(name, 0, std::string(40, 'B'));
    b.Seek(20); // inside: nothing written back, nothing read
    EXPECT_EQ(b.ReadByte(), 'A');
    EXPECT_EQ(ReadFileBytes(name), std::string(40, 'B'));
    b.Seek(40); // outside: the dirty buffer goes out first, all of it
    EXPECT_EQ(ReadFileBytes(name), "x" + std::string(39, 'A'));
    Poke(name, 5, "C");
    b.Seek(5); // outside again: read anew from the file
    EXPECT_EQ(b.ReadByte(), 'C');
    b.Seek(-1); // ignored
    EXPECT_EQ(b.GetPos(), 6);
}

TEST_F(FileBuffer, ReadByteAfterWriteBlockSeesTheNewBytes) {
    const std::string data = Bytes(40);
    const std::string name = Put("rw", data);
    TFileBuffer b(16);
    ASSERT_TRUE(b.Open(name, 1, fmOpen, IoModeShared));
    b.WriteBlock("xyz", 3);
    b.Seek(0);
    EXPECT_EQ(b.ReadByte(), 'x');
    EXPECT_EQ(b.ReadByte(), 'y');
    EXPECT_EQ(b.ReadByte(), 'z');
    EXPECT_EQ(b.ReadByte(), data[3]);
    b.Seek(14);
    EXPECT_EQ(b.ReadByte(), data[14]);
    EXPECT_EQ(b.ReadByte(), data[15]);
    EXPECT_EQ(b.ReadByte(), data[16]); // past the buffer: written back, then refilled
    EXPECT_EQ(ReadFileBytes(name), "xyz" + data.substr(3));
}

TEST_F(FileBuffer, ReadingPastNewBytesWritesThemBackFirst) {
    const std::string name = Path() + "/n";
    TFileBuffer b(16);
    ASSERT_TRUE(b.Open(name, 1, fmCreate, IoModeShared));
    b.WriteBlock("abc", 3);
    EXPECT_EQ(ReadFileBytes(name), "");
    EXPECT_EQ(b.ReadByte(), '\0'); // the end of the file
    EXPECT_EQ(ReadFileBytes(name), "abc");
    EXPECT_FALSE(b.Dirty);
    EXPECT_TRUE(b.Eof());
}

TEST_F(FileBuffer, RecordsAcrossBuffers) {
    const std::string name = Path() + "/recs";
    TFileBuffer b(6);
    ASSERT_TRUE(b.Open(name, 4, fmCreate, IoModeShared));
    for (const char* rec : {"r0r0", "r1r1", "r2r2", "r3r3", "r4r4"}) b.WriteRec(rec);
    EXPECT_EQ(b.GetRecCount(), 5);
    EXPECT_EQ(b.GetRecPos(), 5);
    b.SeekRec(2);
    char rec[4];
    b.ReadRec(rec);
    EXPECT_EQ(std::string(rec, 4), "r2r2");
    EXPECT_EQ(b.GetRecPos(), 3);
    b.SeekRec(0x40000000); // past the 32-bit offsets: ignored
    EXPECT_EQ(b.GetRecPos(), 3);
    b.Close();
    EXPECT_EQ(ReadFileBytes(name), "r0r0r1r1r2r2r3r3r4r4");
}

TEST_F(FileBuffer, RecordSizeBelowOneIsOne) {
    TFileBuffer b(16);
    ASSERT_TRUE(b.Open(Put("z", "abcde"), 0, fmOpen, IoModeRead));
    EXPECT_EQ(b.RecSize, 1);
    EXPECT_EQ(b.GetRecCount(), 5);
    EXPECT_EQ(b.GetRecPos(), 0);
}

TEST_F(FileBuffer, OpenAgainWritesTheOldFileBack) {
    const std::string first = Path() + "/first";
    TFileBuffer b(64);
    ASSERT_TRUE(b.Open(first, 1, fmCreate, IoModeShared));
    b.WriteBlock("pending", 7);
    ASSERT_TRUE(b.Open(Put("second", "2"), 1, fmOpen, IoModeRead));
    EXPECT_EQ(ReadFileBytes(first), "pending");
    EXPECT_EQ(b.ReadByte(), '2');
}

// The file stream and the text line list the base is built on.

#include "support/FileStream.h"
#include "support/StringList.h"
#include "tests/common/JamFixture.h"

#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

std::string Pattern(std::size_t N) {
    std::string s;
    for (std::size_t i = 0; i < N; ++i) s.push_back(static_cast<char>((i * 7 + i / 251) & 0xFF));
    return s;
}

TEST(FileStream, OpenRefusesMissingFilesAndDirectories) {
    TempDir dir;
    TFileStream s;
    EXPECT_FALSE(s.Open(dir / "missing", fmOpenRead));
    EXPECT_FALSE(s.Open(dir.Path(), fmOpenRead));
    EXPECT_FALSE(s.Open(dir.Path(), fmOpenReadWrite));
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.Read(nullptr, 5), 0);
    ASSERT_TRUE(s.Open(dir / "new", fmCreateNew));
    EXPECT_FALSE(TFileStream().Open(dir / "new", fmCreateNew));
}

// Reads of every size from every kind of position give the file's bytes,
// whether they are served from the buffer, refill it, or bypass it.
TEST(FileStream, ReadsAnywhereGiveTheFilesBytes) {
    TempDir dir;
    std::string data = Pattern(300000);
    WriteFileBytes(dir / "f", data);
    TFileStream s;
    ASSERT_TRUE(s.Open(dir / "f", fmOpenRead));
    EXPECT_EQ(s.Size(), 300000);
    struct Step {
        int64_t Seek;
        TSeekOrigin Origin;
        int32_t Count;
    };
    const Step steps[] = {
        {0, soBeginning, 8},        {0, soCurrent, 76},    {-20, soCurrent, 40},
        {1000, soBeginning, 3000},  {0, soCurrent, 70000}, {5, soCurrent, 1},
        {-10, soEnd, 100},          {100, soEnd, 10},      {65530, soBeginning, 12},
        {-65536, soCurrent, 65536},
    };
    std::string buf(70000, '\0');
    for (const Step& st : steps) {
        int64_t pos = s.Seek(st.Seek, st.Origin);
        ASSERT_GE(pos, 0);
        int64_t avail = std::max<int64_t>(0, std::min<int64_t>(st.Count, 300000 - pos));
        ASSERT_EQ(s.Read(buf.data(), st.Count), avail) << pos;
        EXPECT_EQ(buf.substr(0, avail), data.substr(std::min<int64_t>(pos, 300000), avail)) << pos;
        EXPECT_EQ(s.Position(), pos + avail);
        // The same bytes again as a view into the buffer.
        s.Seek(pos, soBeginning);
        const char* v = nullptr;
        ASSERT_EQ(s.ReadView(v, st.Count), avail) << pos;
        if (avail > 0) {
            EXPECT_EQ(std::string(v, avail), data.substr(std::size_t(pos), avail)) << pos;
        }
        EXPECT_EQ(s.Position(), pos + avail);
    }
    s.Seek(10, soBeginning);
    EXPECT_EQ(s.Seek(-11, soCurrent), -1);
    EXPECT_EQ(s.Position(), 10);
}

TEST(FileStream, WritesAreSeenByTheNextReadAndInvalidateSeesOthers) {
    TempDir dir;
    WriteFileBytes(dir / "f", "0123456789");
    TFileStream s;
    ASSERT_TRUE(s.Open(dir / "f", fmOpenReadWrite));
    char b[10];
    ASSERT_EQ(s.Read(b, 4), 4);
    s.Seek(2, soBeginning);
    ASSERT_EQ(s.Write("ab", 2), 2);
    EXPECT_EQ(s.Position(), 4);
    s.Seek(0, soBeginning);
    ASSERT_EQ(s.Read(b, 10), 10);
    EXPECT_EQ(std::string(b, 10), "01ab456789");
    s.Seek(10, soBeginning);
    ASSERT_EQ(s.Write("XY", 2), 2);
    EXPECT_EQ(s.Size(), 12);

    s.Seek(0, soBeginning);
    ASSERT_EQ(s.Read(b, 2), 2); // fills the buffer
    WriteFileBytes(dir / "f", "changed by another program");
    s.Seek(0, soBeginning);
    ASSERT_EQ(s.Read(b, 7), 7);
    EXPECT_EQ(std::string(b, 7), "01ab456"); // still the buffered bytes
    s.Invalidate();
    s.Seek(0, soBeginning);
    ASSERT_EQ(s.Read(b, 7), 7);
    EXPECT_EQ(std::string(b, 7), "changed");
}

// Buffered bytes are dropped when they were read before the given moment,
// and kept when they were not; the moment is passed in, so no clock is raced.
TEST(FileStream, InvalidateBeforeDropsOnlyOlderBytes) {
    TempDir dir;
    WriteFileBytes(dir / "f", "0123456789");
    TFileStream s;
    ASSERT_TRUE(s.Open(dir / "f", fmOpenRead));
    char b[4];
    int64_t before = TFileStream::MonoNs();
    ASSERT_EQ(s.Read(b, 4), 4);
    int64_t filled = s.FilledAt();
    EXPECT_LE(before, filled);
    EXPECT_LE(filled, TFileStream::MonoNs());
    PatchFileBytes(dir / "f", 0, "abcd");
    s.InvalidateBefore(filled); // read at that moment, not before it
    s.Seek(0, soBeginning);
    ASSERT_EQ(s.Read(b, 4), 4);
    EXPECT_EQ(std::string(b, 4), "0123");
    s.InvalidateBefore(filled + 1);
    s.Seek(0, soBeginning);
    ASSERT_EQ(s.Read(b, 4), 4);
    EXPECT_EQ(std::string(b, 4), "abcd");
}

TEST(StringList, HoldsLinesAndSavesEachWithALineFeed) {
    TempDir dir;
    TStringList l;
    EXPECT_EQ(l.Count(), 0);
    l.Add("one");
    l.Add(std::string("t\0o", 3));
    l.Add("");
    EXPECT_EQ(l.Count(), 3);
    EXPECT_EQ(l.Get(1), std::string("t\0o", 3));
    EXPECT_EQ(l[2], "");
    EXPECT_EQ(l.Get(3), "");
    EXPECT_EQ(l.Get(-1), "");
    ASSERT_TRUE(l.SaveToFile(dir / "out"));
    EXPECT_EQ(ReadFileBytes(dir / "out"), std::string("one\nt\0o\n\n", 9));
    EXPECT_FALSE(l.SaveToFile(dir.Path())); // a directory cannot be written
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.begin(), l.end());
    l.Add("new");
    EXPECT_EQ(l.Count(), 1);
    EXPECT_EQ(l.Get(0), "new");
    ASSERT_TRUE(l.SaveToFile(dir / "out"));
    EXPECT_EQ(ReadFileBytes(dir / "out"), "new\n");
    l.Clear();
    ASSERT_TRUE(l.SaveToFile(dir / "out"));
    EXPECT_EQ(ReadFileBytes(dir / "out"), "");
}

// Lines of every length up to 300 bytes, written over spare buffers that held
// longer and shorter lines before, come back byte for byte.
TEST(StringList, ReusedLineBuffersHoldEveryLengthExactly) {
    std::string bytes;
    for (int i = 0; i < 600; ++i) bytes.push_back(static_cast<char>(i * 31 % 256));
    TStringList l;
    for (bool down : {false, true, false}) {
        l.Clear();
        for (std::size_t n = 0; n <= 300; ++n) {
            std::size_t len = down ? 300 - n : n;
            l.Add(bytes.data() + n, len);
        }
        ASSERT_EQ(l.Count(), 301);
        for (std::size_t n = 0; n <= 300; ++n) {
            std::size_t len = down ? 300 - n : n;
            ASSERT_EQ(l.Get(int32_t(n)), bytes.substr(n, len)) << "length " << len;
        }
    }
}

} // namespace

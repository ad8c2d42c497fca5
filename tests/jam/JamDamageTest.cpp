// Damaged bases: whatever the files hold, reading ends, stays inside the files
// and buffers, and a change writes only where the base really has the record.

#include "jam/JamBase.h"
#include "support/FileDesc.h"
#include "tests/common/JamFixture.h"

#include <climits>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct DamageTest : JamBaseTest {
    void OpenFixture(const JamFixture& F) { ASSERT_TRUE(WriteAndOpen(F)); }
};

// ---------------------------------------------------------------- reading

TEST_F(DamageTest, NegativeDatLenCountsAsEmpty) {
    JamFixture f;
    FixMsg m;
    m.Subfields = SubBytes(SENDERNAME, "kept") + SubBytes(SUBJECT, "", -8) +
                  SubBytes(RECEIVERNAME, "still read");
    f.Add(m);
    f.AddSimple("next", "msg", "ok", "");
    OpenFixture(f);
    ASSERT_TRUE(B.ReadHeader(1));
    EXPECT_EQ(B.MsgFrom, "kept");
    EXPECT_EQ(B.MsgSubj, "");
    EXPECT_EQ(B.MsgTo, "still read");
    ASSERT_TRUE(B.ReadHeader(2));
    EXPECT_EQ(B.MsgFrom, "next");
}

TEST_F(DamageTest, DatLenPastTheBlockIsCutToTheBlock) {
    JamFixture f;
    FixMsg m;
    m.Subfields = SubBytes(SENDERNAME, "Name", 1000);
    f.Add(m);
    f.AddSimple("second", "x", "y", "");
    OpenFixture(f);
    ASSERT_TRUE(B.ReadHeader(1));
    EXPECT_EQ(B.MsgFrom, "Name"); // not the next message's header bytes
    ASSERT_TRUE(B.ReadHeader(2));
    EXPECT_EQ(B.MsgFrom, "second");
}

TEST_F(DamageTest, HugeSubfieldLenEndsAtTheEndOfTheFile) {
    for (int32_t len : {0x7FFFFFFF, 0x7FFFFFF0, -1, -0x7FFFFFFF}) {
        SCOPED_TRACE(len);
        JamFixture f;
        FixMsg m;
        m.AutoSubfieldLen = false;
        m.Hdr.SubfieldLen = len;
        m.Subfields = SubBytes(SUBJECT, "subj") + SubBytes(9999, "x", 0x7FFFFFF0);
        f.Add(m);
        TJamBase b;
        f.Write(Base);
        b.BasePath = Base;
        ASSERT_TRUE(b.Open());
        ASSERT_TRUE(b.ReadHeader(1));
        EXPECT_EQ(b.MsgSubj, len > 0 ? "subj" : "");
    }
}

TEST_F(DamageTest, HeaderAndSubfieldsCutShortByTheEndOfTheFile) {
    JamFixture f;
    f.AddSimple("a", "b", "c", "");
    MsgHdrFields h{.TimesRead = 0x01020304, .MessageNumber = 9};
    // Message 2: a header whose subject subfield the end of the file cuts.
    std::string sub = SubBytes(SUBJECT, "Subject text");
    h.SubfieldLen = static_cast<int32_t>(sub.size());
    int32_t at2 = static_cast<int32_t>(f.Hdr.size());
    f.Hdr += MsgHdrBytes(h) + sub.substr(0, 8 + 7);
    f.Idx += IdxBytes(0, at2);
    // Message 3: a header that starts 10 bytes before the end of the file.
    f.Idx += IdxBytes(0, static_cast<int32_t>(f.Hdr.size()) - 10);
    // Message 4: a header far beyond the end.
    f.Idx += IdxBytes(0, 0x7FFFFF00);
    OpenFixture(f);
    ASSERT_TRUE(B.ReadHeader(2));
    EXPECT_EQ(B.MsgSubj, "Subject"); // what was there
    EXPECT_EQ(B.MsgHdr.TimesRead, 0x01020304);
    ASSERT_TRUE(B.ReadHeader(3));
    EXPECT_EQ(B.MsgHdr.Cost, 0); // the missing bytes read as zero
    // A header of which the file holds no byte is no message: nothing is
    // made up from zeros, and the last message read stays the current one.
    const JamMsgHdrType third = B.MsgHdr;
    EXPECT_FALSE(B.ReadMessage(4));
    EXPECT_FALSE(B.ReadHeader(4));
    EXPECT_EQ(B.CurMsg, 3);
    EXPECT_EQ(B.MsgHdr, third);
}

TEST_F(DamageTest, NegativeHdrOffsetHasNoHeader) {
    JamFixture f;
    f.AddSimple("a", "b", "c", "");
    f.Idx += IdxBytes(0, -2) + IdxBytes(0, INT32_MIN);
    OpenFixture(f);
    ASSERT_TRUE(B.ReadHeader(1));
    EXPECT_FALSE(B.ReadHeader(2));
    EXPECT_FALSE(B.ReadHeader(3));
    EXPECT_EQ(B.CurMsg, 1);
    EXPECT_EQ(B.MsgFrom, "a");
}

TEST_F(DamageTest, IndexShrunkSinceOpenGivesFalse) {
    JamFixture f;
    f.AddSimple("a", "b", "c", "");
    f.AddSimple("d", "e", "f", "");
    OpenFixture(f);
    WriteFileBytes(Base + ".jdx", f.Idx.substr(0, 12));
    EXPECT_TRUE(B.ReadHeader(1));
    EXPECT_FALSE(B.ReadHeader(2));
}

TEST_F(DamageTest, TextRangesOutsideTheFileReadOnlyWhatIsThere) {
    struct Case {
        int32_t TxtOffset, TxtLen;
        std::vector<std::string> Want;
        bool Missing; // a text is claimed, and the file holds none of it
    };
    // The text file holds "abc\rdef\rghi\r".
    const Case cases[] = {
        {0, 12, {"abc", "def", "ghi"}, false},
        {4, 0x7FFFFFFF, {"def", "ghi"}, false}, // runs past the end; offset + len overflows
        {0x7FFFFFF0, 0x7FFFFFF0, {}, true},     // far beyond the end
        {-4, 8, {"abc"}, false},                // starts before the file: from 0 on
        {-0x7FFFFFFF, 0x7FFFFFFF, {}, false},   // ends at 0
        {4, -5, {}, false},                     // negative length
    };
    JamFixture f;
    f.Txt = "abc\rdef\rghi\r";
    for (const Case& c : cases) {
        FixMsg m;
        m.AutoText = false;
        m.Hdr.TxtOffset = c.TxtOffset;
        m.Hdr.TxtLen = c.TxtLen;
        f.Add(m);
    }
    OpenFixture(f);
    for (int32_t n = 1; n <= B.TotalMsgs; ++n) {
        ASSERT_TRUE(B.ReadMessage(n));
        std::vector<std::string> got(B.MsgText.begin(), B.MsgText.end());
        EXPECT_EQ(got, cases[n - 1].Want) << "case " << n;
        EXPECT_EQ(B.TextMissing, cases[n - 1].Missing) << "case " << n;
    }
    // Another program cut the text file to nothing under the open base; once
    // the buffered bytes are too old to serve, reading finds none.
    WriteFileBytes(Base + ".jdt", "");
    PauseMs(JamBufferAgeMs + 1);
    ASSERT_TRUE(B.ReadMessage(1));
    EXPECT_TRUE(B.TextMissing);
    ASSERT_TRUE(B.ReadMessage(5)); // claims no text at all
    EXPECT_FALSE(B.TextMissing);
}

TEST_F(DamageTest, TextOfCarriageReturnsKeepsABoundedNumberOfLines) {
    JamFixture f;
    f.Txt = std::string(JamMaxLines + 1000, '\r');
    FixMsg m;
    m.AutoText = false;
    m.Hdr.TxtOffset = 0;
    m.Hdr.TxtLen = 0x7FFFFFFF;
    f.Add(m);
    OpenFixture(f);
    ASSERT_TRUE(B.ReadMessage(1));
    EXPECT_EQ(B.MsgText.Count(), JamMaxLines);
}

// A text is read to JamMaxTextBytes at most, whatever TxtLen claims: a line
// that runs past the limit ends there, and a line end whose LF lies past it
// ends the text. A TxtLen that a crash left at 2 GiB over a text file that
// is one hole reads the limit's worth of zero bytes, not 2 GiB.
TEST_F(DamageTest, TextIsReadUpToItsByteLimit) {
    const std::size_t limit = JamMaxTextBytes;
    JamFixture f;
    f.AddSimple("a", "b", "c", std::string(limit + 10, 'a'));
    f.AddSimple("a", "b", "c", std::string(limit - 1, 'b') + "\r\ntail\r");
    f.AddSimple("a", "b", "c", std::string(limit - 3, 'c') + "\rd\r");
    FixMsg hole;
    hole.AutoText = false;
    hole.Hdr.TxtOffset = 1 << 30;
    hole.Hdr.TxtLen = 0x7FFFFFFF;
    f.Add(hole);
    f.Write(Base);
    ASSERT_EQ(::truncate((Base + ".jdt").c_str(), 5LL << 29), 0);
    B.BasePath = Base;
    ASSERT_TRUE(B.Open());
    const std::vector<std::string> want[] = {
        {std::string(limit, 'a')},
        {std::string(limit - 1, 'b')},
        {std::string(limit - 3, 'c'), "d"},
        {std::string(limit, '\0')},
    };
    for (int32_t n = 1; n <= B.TotalMsgs; ++n) {
        ASSERT_TRUE(B.ReadMessage(n));
        std::vector<std::string> got(B.MsgText.begin(), B.MsgText.end());
        EXPECT_TRUE(got == want[n - 1]) << "message " << n << ": " << got.size() << " lines, "
                                        << (got.empty() ? 0 : got[0].size()) << " bytes first";
    }
}

TEST_F(DamageTest, ReopeningOnAnEmptyHeaderFileFails) {
    JamFixture good;
    good.AddSimple("a", "b", "c", "text\r");
    OpenFixture(good);
    const std::string other = Dir / "empty";
    WriteFileBytes(other + ".jhr", "");
    WriteFileBytes(other + ".jdx", "");
    WriteFileBytes(other + ".jdt", "");
    B.BasePath = other;
    EXPECT_FALSE(B.Open()); // the signature read for the first base does not linger
}

// A text file past 2 GiB (sparse here) opens on the 32-bit builds too.
TEST_F(DamageTest, TextFileOver2GiBOpensEverywhere) {
    JamFixture f;
    f.AddSimple("a", "b", "c", "first\r");
    f.Write(Base);
    ASSERT_EQ(::truncate((Base + ".jdt").c_str(), 3LL << 30), 0);
    B.BasePath = Base;
    ASSERT_TRUE(B.Open());
    ASSERT_TRUE(B.ReadMessage(1));
    ASSERT_EQ(B.MsgText.Count(), 1);
    EXPECT_EQ(B.MsgText.Get(0), "first");
}

TEST_F(DamageTest, ShortHeaderFileOpensButCannotBeChanged) {
    JamFixture f;
    f.Hdr = std::string("JAM\0\1\2\3\4\5\6", 10);
    f.Idx = IdxBytes(0, 0);
    OpenFixture(f);
    EXPECT_EQ(B.BaseHdr.DateCreated, 0x04030201);
    EXPECT_EQ(B.BaseHdr.ModCounter, 0x0605); // the rest stays as it was (zero)
    EXPECT_FALSE(B.ReadBaseHdr());
    EXPECT_EQ(B.BaseHdr.DateCreated, 0x04030201);
    BaseFiles before = ReadBaseFiles(Base);
    EXPECT_FALSE(B.DeleteMsg(1, true));
    EXPECT_EQ(ReadBaseFiles(Base), before);
}

// ---------------------------------------------------------------- deleting

// A deletion must not write a header where the base has none: the header
// must lie wholly inside the header file, past the base header, and start with
// the signature.
TEST_F(DamageTest, DeleteWritesNoHeaderWhereThereIsNone) {
    JamFixture f(BaseHdrFields{.ActiveMsgs = 1});
    f.AddSimple("a", "b", "c", "text\r");
    MsgHdrFields bad{.Signature = "XAM"};
    int32_t at6 = static_cast<int32_t>(f.Hdr.size());
    f.Hdr += MsgHdrBytes(bad) + std::string(40, '\0');
    int32_t end = static_cast<int32_t>(f.Hdr.size());
    f.Idx += IdxBytes(0, 0);          // 2: over the base header (which starts "JAM\0")
    f.Idx += IdxBytes(0, 100);        // 3: inside the base header
    f.Idx += IdxBytes(0, end - 40);   // 4: runs past the end of the file
    f.Idx += IdxBytes(0, end + 1000); // 5: wholly past the end
    f.Idx += IdxBytes(0, at6);        // 6: no signature
    OpenFixture(f);
    BaseFiles before = ReadBaseFiles(Base);
    for (int32_t n = 2; n <= 6; ++n) {
        EXPECT_FALSE(B.DeleteMsg(n, true)) << n;
        EXPECT_EQ(ReadBaseFiles(Base), before) << n;
    }
    EXPECT_TRUE(B.DeleteMsg(1, true)); // the sound one still can be
}

TEST_F(DamageTest, PurgeNeverGrowsTextFile) {
    JamFixture f(BaseHdrFields{.ActiveMsgs = 1});
    f.Txt = "0123456789";
    FixMsg m;
    m.AutoText = false;
    m.Hdr.TxtOffset = 6;
    m.Hdr.TxtLen = 0x7FFFFFFF; // offset + len overflows 32 bits
    f.Add(m);
    OpenFixture(f);
    ASSERT_TRUE(B.DeleteMsg(1, true));
    EXPECT_EQ(ReadFileBytes(Base + ".jdt"), "012345QQQQ");
}

TEST_F(DamageTest, PurgeNeverWritesBeforeTheStartOfTheTextFile) {
    JamFixture f(BaseHdrFields{.ActiveMsgs = 2});
    f.Txt = "0123456789";
    for (auto [off, len] : {std::pair{-4, 6}, std::pair{-100, 50}}) {
        FixMsg m;
        m.AutoText = false;
        m.Hdr.TxtOffset = off;
        m.Hdr.TxtLen = len;
        f.Add(m);
    }
    OpenFixture(f);
    ASSERT_TRUE(B.DeleteMsg(1, true));
    EXPECT_EQ(ReadFileBytes(Base + ".jdt"), "QQ23456789");
    ASSERT_TRUE(B.DeleteMsg(2, true)); // ends before offset 0: nothing to fill
    EXPECT_EQ(ReadFileBytes(Base + ".jdt"), "QQ23456789");
}

// A purge fills only what is certainly the message's own text: from its start
// up to its end, the end of the file or the start of another message's text,
// whichever comes first. Every other header and text stays byte for byte.
TEST_F(DamageTest, PurgeCoversOnlyTheMessagesOwnText) {
    struct Text {
        int32_t Offset, Len;
    };
    struct Case {
        const char* Name;
        std::vector<Text> Msgs;
        int32_t Delete;
        std::string Want;
        bool Shared;
    };
    constexpr int32_t Huge = 0x7FFFFFFF;
    const std::string texts = "AAAAABBBBBCCCCC";
    // Shared: the file holds more of what the header claims than the purge
    // filled, because another message's text starts inside it; the user is
    // told so.
    const Case cases[] = {
        {"a damaged length stops at the next text",
         {{0, 5}, {5, Huge}, {10, 5}},
         2,
         "AAAAAQQQQQCCCCC",
         true},
        {"the last text's damaged length stops at the end of the file",
         {{0, 5}, {5, 5}, {10, Huge}},
         3,
         "AAAAABBBBBQQQQQ",
         false},
        {"a length reaching into the next text",
         {{0, 7}, {5, 5}, {10, 5}},
         1,
         "QQQQQBBBBBCCCCC",
         true},
        {"texts out of the order of the index",
         {{10, 5}, {0, Huge}, {5, 5}},
         2,
         "QQQQQBBBBBCCCCC",
         true},
        {"a start another message shares purges nothing", {{0, 5}, {5, 5}, {5, 5}}, 2, texts, true},
        {"empty texts inside own nothing", {{0, 15}, {5, 0}, {10, 0}}, 1, "QQQQQQQQQQQQQQQ", false},
        {"an earlier text's damaged length does not shorten it",
         {{0, Huge}, {5, 5}, {10, 5}},
         2,
         "AAAAAQQQQQCCCCC",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        JamFixture f(BaseHdrFields{.ModCounter = 7, .ActiveMsgs = 3});
        f.Txt = texts;
        std::vector<int32_t> at;
        for (const Text& t : c.Msgs) {
            FixMsg m;
            m.AutoText = false;
            m.Hdr.TxtOffset = t.Offset;
            m.Hdr.TxtLen = t.Len;
            m.Subfields = SubBytes(SUBJECT, "subject");
            at.push_back(f.Add(m));
        }
        f.Write(Base);
        TJamBase b;
        b.BasePath = Base;
        ASSERT_TRUE(b.Open());
        ASSERT_TRUE(b.DeleteMsg(c.Delete, true));
        EXPECT_EQ(ReadFileBytes(Base + ".jdt"), c.Want);
        EXPECT_EQ(b.PurgeLeftShared, c.Shared);
        std::string hdr = f.Hdr;
        const int32_t h = at[std::size_t(c.Delete - 1)];
        hdr.replace(std::size_t(h) + 52, 4, Le32(MSG_DELETED));
        hdr.replace(std::size_t(h) + 64, 4, Le32(0));
        hdr.replace(8, 8, Le32(8) + Le32(2));
        EXPECT_EQ(ReadFileBytes(Base + ".jhr"), hdr);
        EXPECT_EQ(ReadFileBytes(Base + ".jdx"), f.Idx);
    }
}

// A tosser killed after writing a few bytes of a header and its index
// record, restarted, appends the next messages right after the torn bytes.
// The torn row's header then reads the next message's bytes as its own:
// writing it back would wipe that message's text offset, and a purge by its
// length would fill earlier texts. The deletion is refused and writes
// nothing; the sound message after it is deleted as usual.
TEST_F(DamageTest, TornHeaderIsNeverWrittenBack) {
    for (std::size_t torn : {4u, 30u}) {
        SCOPED_TRACE(torn);
        JamFixture f(BaseHdrFields{.ActiveMsgs = 3});
        f.AddSimple("a", "b", "first", "one\r");
        f.AddTorn(MsgHdrFields{.SubfieldLen = 40, .TxtOffset = 4, .TxtLen = 500}, torn);
        const int32_t third = f.AddSimple("c", "d", "third", "three\r");
        f.AddSimple("e", "f", "fourth", "four\r");
        OpenFixture(f);
        const BaseFiles before = ReadBaseFiles(Base);
        for (bool purge : {false, true}) {
            EXPECT_FALSE(B.DeleteMsg(2, purge)) << purge;
            EXPECT_EQ(B.Refusal, TJamRefusal::jrDamaged);
            EXPECT_EQ(ReadBaseFiles(Base), before) << purge;
        }
        ASSERT_TRUE(B.DeleteMsg(3, true));
        EXPECT_EQ(B.Refusal, TJamRefusal::jrNone);
        EXPECT_EQ(ReadFileBytes(Base + ".jdt"), "one\rQQQQQQfour\r");
        const std::string now = ReadFileBytes(Base + ".jhr");
        EXPECT_EQ(now.substr(JamHdrSize, std::size_t(third + 52 - JamHdrSize)),
                  before.Hdr.substr(JamHdrSize, std::size_t(third + 52 - JamHdrSize)));
        EXPECT_EQ(now.substr(std::size_t(third) + JamMsgHdrSize),
                  before.Hdr.substr(std::size_t(third) + JamMsgHdrSize));
    }
}

// The same rule for headers that other records claim in other ways.
TEST_F(DamageTest, DeleteRefusesAHeaderItDoesNotOwnAlone) {
    struct Case {
        const char* Name;
        std::function<int32_t(JamFixture&)> Make; // builds the base, returns the message
    };
    const Case cases[] = {
        {"two index records point at one header",
         [](JamFixture& f) {
             const int32_t at = f.AddSimple("a", "b", "c", "text\r");
             f.Idx += IdxBytes(0, at);
             return 2;
         }},
        {"another record points inside its subfields",
         [](JamFixture& f) {
             const int32_t at = f.AddSimple("a", "b", "a subject of some length", "text\r");
             f.Idx += IdxBytes(0, at + JamMsgHdrSize + 10);
             return 1;
         }},
        {"its subfields run past the end of the file",
         [](JamFixture& f) {
             FixMsg m;
             m.AutoSubfieldLen = false;
             m.Subfields = SubBytes(SUBJECT, "subject");
             m.Hdr.SubfieldLen = static_cast<int32_t>(m.Subfields.size()) + 100;
             f.Add(m);
             return 1;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        JamFixture f(BaseHdrFields{.ActiveMsgs = 1});
        const int32_t n = c.Make(f);
        f.Write(Base);
        TJamBase b;
        b.BasePath = Base;
        ASSERT_TRUE(b.Open());
        ASSERT_TRUE(b.ReadHeader(n));
        const BaseFiles before = ReadBaseFiles(Base);
        EXPECT_FALSE(b.DeleteMsg(n, true));
        EXPECT_EQ(b.Refusal, TJamRefusal::jrDamaged);
        EXPECT_EQ(ReadBaseFiles(Base), before);
    }
}

// ---------------------------------------------------------------- torn records

TEST_F(DamageTest, SetLastReadKeepsRecordsAlignedAfterATornRecord) {
    ASSERT_EQ(TJamBase::CreateBase(Dir.Path(), "base"), JamOk);
    std::string two = LastBytes(1, 1, 5, 5) + LastBytes(2, 2, 6, 6);
    WriteFileBytes(Base + ".jlr", two + std::string("\x03\0\0\0\x03", 5));
    B.BasePath = Base;
    ASSERT_TRUE(B.SetLastRead(2, 9)); // an existing user: the size stays
    EXPECT_EQ(ReadFileBytes(Base + ".jlr"),
              LastBytes(1, 1, 5, 5) + LastBytes(2, 2, 9, 9) + std::string("\x03\0\0\0\x03", 5));
    ASSERT_TRUE(B.SetLastRead(3, 7)); // a new one: over the torn record
    EXPECT_EQ(ReadFileBytes(Base + ".jlr"),
              LastBytes(1, 1, 5, 5) + LastBytes(2, 2, 9, 9) + LastBytes(3, 3, 7, 7));
    EXPECT_EQ(B.HighReadById(3), 7);
}

TEST_F(DamageTest, AddMessageAfterATornIndexRecordStaysAligned) {
    ASSERT_EQ(TJamBase::CreateBase(Dir.Path(), "base"), JamOk);
    B.BasePath = Base;
    ASSERT_TRUE(B.Open());
    std::string text = Dir / "t.txt";
    WriteFileBytes(text, "hello");
    RecEchoMailAddr none{};
    ASSERT_EQ(B.AddMessage("a", "b", "first", none, none, text), JamOk);
    std::string idx = ReadFileBytes(Base + ".jdx");
    WriteFileBytes(Base + ".jdx", idx + "\x07\x07\x07"); // a crash left 3 bytes
    ASSERT_EQ(B.AddMessage("c", "d", "second", none, none, text), JamOk);
    EXPECT_EQ(ReadFileBytes(Base + ".jdx").size(), 16u);
    EXPECT_EQ(B.TotalMsgs, 2);
    ASSERT_TRUE(B.ReadMessage(2));
    EXPECT_EQ(B.MsgSubj, "second");
    ASSERT_TRUE(B.ReadMessage(1));
    EXPECT_EQ(B.MsgSubj, "first");
}

} // namespace

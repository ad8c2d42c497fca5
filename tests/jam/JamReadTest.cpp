// Opening and reading bases laid out byte by byte.

#include "jam/JamBase.h"
#include "tests/common/JamFixture.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

Lines TextOf(const TJamBase& B) {
    Lines out;
    for (int32_t i = 0; i < B.MsgText.Count(); ++i) out.push_back(B.MsgText.Get(i));
    return out;
}

struct ReadTest : JamBaseTest {
    bool OpenFixture(const JamFixture& F) { return WriteAndOpen(F); }
};

TEST_F(ReadTest, OpenWithEmptyBasePathFailsSilently) {
    std::string out = CaptureStdout([&] { EXPECT_FALSE(B.Open()); });
    EXPECT_EQ(out, "");
    EXPECT_FALSE(B.HdrStream);
}

TEST_F(ReadTest, OpenWithoutTextFileSaysErrorOnInitAndKeepsEarlierStreams) {
    JamFixture f;
    f.Write(Base);
    std::remove((Base + ".jdt").c_str());
    B.BasePath = Base;
    std::string out = CaptureStdout([&] { EXPECT_FALSE(B.Open()); });
    EXPECT_EQ(out, "\nError on Init\n");
    EXPECT_TRUE(B.HdrStream);
    EXPECT_TRUE(B.IdxStream);
    EXPECT_FALSE(B.TxtStream);
}

TEST_F(ReadTest, OpenChecksTheWholeSignature) {
    struct Case {
        std::string Sig;
        bool Opens;
    };
    for (const Case& c : {Case{std::string("JAM\0", 4), true}, Case{"JAM\x01", false},
                          Case{"jam", false}, Case{"XJAM", false}}) {
        SCOPED_TRACE(c.Sig);
        JamFixture f(BaseHdrFields{.Signature = c.Sig});
        f.AddSimple("a", "b", "c", "x\r");
        TJamBase b;
        f.Write(Base);
        b.BasePath = Base;
        EXPECT_EQ(b.Open(), c.Opens);
        EXPECT_EQ(b.TotalMsgs, c.Opens ? 1 : 0);
        EXPECT_EQ(b.LastModCounter, 7); // taken in both cases
    }
}

TEST_F(ReadTest, OpenReadsTheBaseHeaderFields) {
    BaseHdrFields h{.DateCreated = 0x01020304,
                    .ModCounter = 42,
                    .ActiveMsgs = 3,
                    .PasswordCRC = 0x11223344,
                    .BaseMsgNum = 500,
                    .ReservedFill = 0xAB};
    ASSERT_TRUE(OpenFixture(JamFixture(h)));
    EXPECT_EQ(B.BaseHdr.DateCreated, 0x01020304);
    EXPECT_EQ(B.BaseHdr.ModCounter, 42);
    EXPECT_EQ(B.BaseHdr.ActiveMsgs, 3);
    EXPECT_EQ(B.BaseHdr.PasswordCRC, 0x11223344);
    EXPECT_EQ(B.BaseHdr.BaseMsgNum, 500);
    EXPECT_EQ(B.BaseHdr.Reserved[0], 0xAB);
    EXPECT_EQ(B.BaseHdr.Reserved[999], 0xAB);
    EXPECT_EQ(B.LastModCounter, 42);
    EXPECT_FALSE(B.BaseChanged());
    EXPECT_EQ(B.TotalMsgs, 0);
    EXPECT_EQ(B.HighMsgNum(), 499);
}

TEST_F(ReadTest, IndexOf20BytesHasTwoMessages) {
    JamFixture f;
    f.AddSimple("a", "b", "c", "");
    f.AddSimple("d", "e", "f", "");
    f.Idx += "\x01\x02\x03\x04";
    ASSERT_TRUE(OpenFixture(f));
    EXPECT_EQ(B.TotalMsgs, 2);
    EXPECT_EQ(B.CountMsgs(), 2);
    EXPECT_TRUE(B.ReadHeader(2));
    EXPECT_FALSE(B.ReadHeader(3));
}

TEST_F(ReadTest, ReadHeaderDecodesEveryField) {
    JamFixture f;
    FixMsg m;
    m.Hdr = MsgHdrFields{.Revision = 0x0102,
                         .ReservedWord = 0x0304,
                         .TimesRead = 11,
                         .MSGIDcrc = 12,
                         .REPLYcrc = 13,
                         .ReplyTo = 14,
                         .Reply1st = 15,
                         .ReplyNext = 16,
                         .DateWritten = 17,
                         .DateReceived = 18,
                         .DateProcessed = 19,
                         .MessageNumber = 20,
                         .Attribute = 0x80402010,
                         .Attribute2 = 21,
                         .PasswordCRC = 22,
                         .Cost = -23};
    m.Subfields = SubBytes(SENDERNAME, "Sender") + SubBytes(RECEIVERNAME, "Recipient") +
                  SubBytes(SUBJECT, "Subject") + SubBytes(FTSKLUDGE, "MSGID: 1:2/3 abc") +
                  SubBytes(SEENBY2D, "1/2 3") + SubBytes(PATH2D, "1/2") +
                  SubBytes(TZUTCINFO, "0100") + SubBytes(OADDRESS, "1:2/3") +
                  SubBytes(999, "ignored", {}, 77);
    m.Text = "hello\r";
    f.AddSimple("x", "y", "z", "first\r");
    int32_t at = f.Add(m);
    ASSERT_TRUE(OpenFixture(f));
    ASSERT_TRUE(B.ReadHeader(2));
    JamMsgHdrType want;
    std::copy_n("JAM", 4, want.Signature);
    want.Revision = 0x0102;
    want.ReservedWord = 0x0304;
    want.SubfieldLen = static_cast<int32_t>(m.Subfields.size());
    want.TimesRead = 11;
    want.MSGIDcrc = 12;
    want.REPLYcrc = 13;
    want.ReplyTo = 14;
    want.Reply1st = 15;
    want.ReplyNext = 16;
    want.DateWritten = 17;
    want.DateReceived = 18;
    want.DateProcessed = 19;
    want.MessageNumber = 20;
    want.Attribute = 0x80402010;
    want.Attribute2 = 21;
    want.TxtOffset = 6;
    want.TxtLen = 6;
    want.PasswordCRC = 22;
    want.Cost = -23;
    EXPECT_EQ(B.MsgHdr, want);
    EXPECT_EQ(B.CurHdrOffset, at);
    EXPECT_EQ(B.CurMsg, 2);
    EXPECT_EQ(B.MsgFrom, "Sender");
    EXPECT_EQ(B.MsgTo, "Recipient");
    EXPECT_EQ(B.MsgSubj, "Subject");
    EXPECT_EQ(B.MsgKludge, "MSGID: 1:2/3 abc");
    EXPECT_EQ(B.MsgSeenBy, "1/2 3");
    EXPECT_EQ(B.MsgPath, "1/2");
    EXPECT_EQ(B.MsgTzUtc, "0100");
}

TEST_F(ReadTest, AttributeTestsFollowTheirBits) {
    JamFixture f;
    f.AddSimple("a", "b", "c", "");
    ASSERT_TRUE(OpenFixture(f));
    ASSERT_TRUE(B.ReadHeader(1));
    struct Case {
        uint32_t Mask;
        bool (TJamBase::*Test)() const;
    };
    const Case cases[] = {
        {MSG_LOCAL, &TJamBase::IsLocal},
        {MSG_PRIVATE, &TJamBase::IsPrivate},
        {MSG_READ, &TJamBase::IsRead},
        {MSG_SENT, &TJamBase::IsSent},
        {MSG_KILLSENT, &TJamBase::IsKillSent},
        {MSG_CRASH, &TJamBase::IsCrash},
        {MSG_FILEREQUEST, &TJamBase::IsFileRequest},
        {MSG_FILEATTACH, &TJamBase::IsFileAttach},
        {MSG_ENCRYPT, &TJamBase::IsEncrypted},
        {MSG_COMPRESS, &TJamBase::IsCompressed},
        {MSG_ESCAPED, &TJamBase::IsEscaped},
        {MSG_LOCKED, &TJamBase::IsLocked},
        {MSG_DELETED, &TJamBase::IsDeleted},
    };
    for (const Case& c : cases) {
        B.MsgHdr.Attribute = ~0u;
        B.SetAttr(c.Mask, false);
        EXPECT_FALSE((B.*c.Test)()) << std::hex << c.Mask;
        EXPECT_EQ(B.MsgHdr.Attribute, ~c.Mask);
        B.MsgHdr.Attribute = 0;
        B.SetAttr(c.Mask, true);
        EXPECT_TRUE((B.*c.Test)()) << std::hex << c.Mask;
        EXPECT_EQ(B.MsgHdr.Attribute, c.Mask);
    }
}

TEST_F(ReadTest, EnclosedFileIsTheSubjectOnlyWhenTheBitSaysSo) {
    struct Case {
        uint16_t Enclosed;
        uint32_t Attribute;
        bool SubjectFirst;
        std::string Want;
    };
    const Case cases[] = {
        {ENCLOSEDFILE, MSG_FILEATTACH, true, "file.zip"},
        {ENCLOSEDFILE, 0, true, "Subject"},
        {ENCLOSEDFILE, MSG_FILEATTACH, false, "Subject"},
        {ENCLOSEDFILE, 0, false, "Subject"},
        {ENCLOSEDFILE, MSG_FILEREQUEST, true, "Subject"},
        {ENCLOSEDFREQ, MSG_FILEREQUEST, true, "file.zip"},
        {ENCLOSEDFREQ, MSG_FILEATTACH, true, "Subject"},
    };
    JamFixture f;
    for (const Case& c : cases) {
        FixMsg m;
        m.Hdr.Attribute = c.Attribute;
        std::string subj = SubBytes(SUBJECT, "Subject"), file = SubBytes(c.Enclosed, "file.zip");
        m.Subfields = c.SubjectFirst ? subj + file : file + subj;
        f.Add(m);
    }
    ASSERT_TRUE(OpenFixture(f));
    for (int32_t n = 1; n <= B.TotalMsgs; ++n) {
        ASSERT_TRUE(B.ReadHeader(n));
        EXPECT_EQ(B.MsgSubj, cases[n - 1].Want) << "case " << n;
    }
}

TEST_F(ReadTest, LongSubfieldsAreCutAndTheNextOneStillRead) {
    JamFixture f;
    FixMsg m;
    std::string data300(300, 'k');
    data300[254] = 'E';
    m.Subfields = SubBytes(SENDERNAME, std::string(70, 'f')) +
                  SubBytes(RECEIVERNAME, std::string(66, 't')) +
                  SubBytes(SUBJECT, std::string(101, 's')) + SubBytes(FTSKLUDGE, data300) +
                  SubBytes(TZUTCINFO, "after");
    f.Add(m);
    ASSERT_TRUE(OpenFixture(f));
    ASSERT_TRUE(B.ReadHeader(1));
    EXPECT_EQ(B.MsgFrom, std::string(65, 'f'));
    EXPECT_EQ(B.MsgTo, std::string(65, 't'));
    EXPECT_EQ(B.MsgSubj, std::string(100, 's'));
    EXPECT_EQ(B.MsgKludge, data300.substr(0, 255));
    EXPECT_EQ(B.MsgTzUtc, "after");
}

TEST_F(ReadTest, EveryReadStartsFromEmptyFieldsAndLastSubfieldWins) {
    JamFixture f;
    f.AddSimple("a", "b", "first subject", "");
    FixMsg m;
    m.Subfields = SubBytes(SENDERNAME, "one") + SubBytes(SENDERNAME, "two");
    f.Add(m);
    ASSERT_TRUE(OpenFixture(f));
    ASSERT_TRUE(B.ReadHeader(1));
    ASSERT_TRUE(B.ReadHeader(2));
    EXPECT_EQ(B.MsgSubj, "");
    EXPECT_EQ(B.MsgTo, "");
    EXPECT_EQ(B.MsgFrom, "two");
}

TEST_F(ReadTest, FailedReadsChangeNothing) {
    JamFixture f;
    f.AddSimple("From", "To", "Subj", "line\r");
    FixMsg none;
    none.HdrOffset = -1;
    f.Add(none);
    ASSERT_TRUE(OpenFixture(f));
    ASSERT_TRUE(B.ReadMessage(1));
    JamMsgHdrType hdr = B.MsgHdr;
    for (int32_t n : {0, -1, 3, 2}) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(B.ReadHeader(n));
        EXPECT_FALSE(B.ReadMessage(n));
        EXPECT_EQ(B.MsgHdr, hdr);
        EXPECT_EQ(B.MsgFrom, "From");
        EXPECT_EQ(B.CurMsg, 1);
        EXPECT_EQ(TextOf(B), Lines{"line"});
    }
}

// A CR ends a line and takes an LF right after it along; every other LF is
// a byte of its line. Bytes after the last line end are the last line, an
// LF that ends the text being its line end. Lines are kept whole.
TEST_F(ReadTest, TextIsSplitAtCarriageReturns) {
    struct Case {
        std::string Text;
        Lines Want;
    };
    const std::string l300 = std::string(254, 'a') + "XYZ" + std::string(43, 'b');
    const Case cases[] = {
        {"one\r\ntwo\r", {"one", "two"}},
        {"one\r\ntwo\r\n", {"one", "two"}}, // no empty line after the last CR LF
        {"one\rtwo", {"one", "two"}},       // no CR at the end
        {"one\r\ntwo", {"one", "two"}},
        {"a\nb\n", {"a\nb"}}, // LF only: one line, its last LF the line end
        {"a\nb", {"a\nb"}},
        {"\n", {""}},
        {"one\r\n\n", {"one", ""}},
        {"one\r\n\ntwo\r", {"one", "\ntwo"}}, // only the first LF after a CR ends it
        {"a\r\r\nb\r", {"a", "", "b"}},       // CR CR LF: an empty line
        {"a\n\rb\r", {"a\n", "b"}},           // LF CR: the LF is the line's
        {"", {}},
        {"\r\r", {"", ""}},
        {"tab\there\x1b[0m\r\x1a\r", {"tab\there\x1b[0m", "\x1a"}},
        {l300 + "\rnext\r", {l300, "next"}},
        {"\xb0\xb1\xdb\r", {"\xb0\xb1\xdb"}},
    };
    JamFixture f;
    for (const Case& c : cases) f.AddSimple("a", "b", "c", c.Text);
    ASSERT_TRUE(OpenFixture(f));
    for (int32_t n = 1; n <= B.TotalMsgs; ++n) {
        ASSERT_TRUE(B.ReadMessage(n));
        EXPECT_EQ(TextOf(B), cases[n - 1].Want) << "case " << n;
        EXPECT_EQ(B.CurMsg, n);
    }
}

// The line rule, byte by byte.
Lines PlainSplit(const std::string& Text) {
    Lines out;
    std::string cur;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\r') {
            cur.push_back(Text[i]);
            continue;
        }
        out.push_back(cur);
        cur.clear();
        if (i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    }
    if (!cur.empty()) {
        if (cur.back() == '\n') cur.pop_back();
        out.push_back(cur);
    }
    return out;
}

// Where two long texts' lines first differ, without printing them whole.
std::string FirstDifference(const Lines& Got, const Lines& Want) {
    for (std::size_t i = 0; i < std::max(Got.size(), Want.size()); ++i) {
        std::string got = i < Got.size() ? Got[i] : "(none)",
                    want = i < Want.size() ? Want[i] : "(none)";
        if (got == want) continue;
        return "line " + std::to_string(i) + " of " + std::to_string(Got.size()) + ": " +
               std::to_string(got.size()) + " bytes from \"" + got.substr(0, 8) + "\", not " +
               std::to_string(want.size()) + " from \"" + want.substr(0, 8) + "\"";
    }
    return "";
}

// Texts longer than one read block (64 KiB): lines, long lines and CR LF
// line ends that cross a block boundary must come out exactly as a plain
// split gives them; so must short lines and runs of CRs and LFs at every
// place within a block of 64 bytes.
TEST_F(ReadTest, LongTextSplitsLikeAPlainSplit) {
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) {
        std::size_t len = (i * 37) % 400;
        if (i % 50 == 7) len = 70000; // longer than a block
        for (std::size_t k = 0; k < len; ++k) text.push_back(static_cast<char>('a' + (i + k) % 26));
        text += i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n\r";
    }
    text += "tail without cr";
    // CR LF split by the first block boundary, then by the second.
    std::string split(65535, 'x');
    split += "\r\n" + std::string(65534, 'y') + "\r\nz\r";
    std::string shortLines;
    for (int i = 0; shortLines.size() < 100000; ++i) {
        std::size_t len = (i * 13) % 71;
        if (i % 5 == 0) len = i % 3; // empty lines and CR runs
        for (std::size_t k = 0; k < len; ++k)
            shortLines.push_back(static_cast<char>(0x80 + k % 90));
        shortLines += i % 7 == 0 ? "\r\n" : i % 11 == 0 ? "\n" : "\r";
    }
    JamFixture f;
    f.AddSimple("a", "b", "c", "short\r");
    f.AddSimple("a", "b", "c", text);
    f.AddSimple("a", "b", "c", shortLines);
    f.AddSimple("a", "b", "c", split);
    ASSERT_TRUE(OpenFixture(f));
    ASSERT_TRUE(B.ReadMessage(2));
    EXPECT_EQ(FirstDifference(TextOf(B), PlainSplit(text)), "");
    ASSERT_TRUE(B.ReadMessage(1)); // the list is refilled, not appended to
    EXPECT_EQ(TextOf(B), Lines{"short"});
    ASSERT_TRUE(B.ReadMessage(3));
    EXPECT_EQ(FirstDifference(TextOf(B), PlainSplit(shortLines)), "");
    ASSERT_TRUE(B.ReadMessage(4));
    EXPECT_EQ(
        FirstDifference(TextOf(B), (Lines{std::string(65535, 'x'), std::string(65534, 'y'), "z"})),
        "");
}

// Bytes may serve later reads while they are young; a change made by another
// program is seen once the age bound has passed.
TEST_F(ReadTest, ReadingSeesAChangeBehindItsBackOnceTheBufferAgeHasPassed) {
    JamFixture f;
    f.AddSimple("Alice", "Bob", "Hello", "one\r");
    f.AddSimple("Carol", "Dave", "Again", "two\r");
    ASSERT_TRUE(OpenFixture(f));
    ASSERT_TRUE(B.ReadMessage(1));
    ASSERT_TRUE(B.ReadMessage(2));
    std::string hdr = ReadFileBytes(Base + ".jhr");
    PatchFileBytes(Base + ".jhr", int64_t(hdr.find("Hello")), "Howdy");
    PatchFileBytes(Base + ".jdt", 0, "new\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * JamBufferAgeMs));
    ASSERT_TRUE(B.ReadMessage(1));
    EXPECT_EQ(B.MsgSubj, "Howdy");
    EXPECT_EQ(TextOf(B), Lines{"new"});
}

TEST_F(ReadTest, ReadFirstNextAndLastFollowActiveMsgs) {
    JamFixture f(BaseHdrFields{.ActiveMsgs = 2});
    f.AddSimple("m1", "x", "s", "");
    f.AddSimple("m2", "x", "s", "");
    f.AddSimple("m3", "x", "s", "");
    ASSERT_TRUE(OpenFixture(f));
    ASSERT_TRUE(B.ReadFirst());
    EXPECT_EQ(B.MsgFrom, "m1");
    EXPECT_EQ(B.CurMsg, 0);
    ASSERT_TRUE(B.ReadNext());
    EXPECT_EQ(B.CurMsg, 1);
    ASSERT_TRUE(B.ReadNext());
    EXPECT_EQ(B.MsgFrom, "m2");
    ASSERT_TRUE(B.ReadNext()); // at ActiveMsgs: the same message again
    EXPECT_EQ(B.CurMsg, 2);
    EXPECT_EQ(B.MsgFrom, "m2");
    ASSERT_TRUE(B.ReadLast());
    EXPECT_EQ(B.CurMsg, 2);
}

TEST_F(ReadTest, FindLastReadUsesWholeRecordsOnly) {
    JamFixture f;
    ASSERT_TRUE(OpenFixture(f));
    JamLastType rec{1, 2, 3, 4};
    EXPECT_FALSE(B.FindLastRead(10, rec)); // no last-read file
    EXPECT_EQ(rec, (JamLastType{1, 2, 3, 4}));

    WriteFileBytes(Base + ".jlr", "");
    EXPECT_FALSE(B.FindLastRead(10, rec));
    EXPECT_EQ(rec, (JamLastType{1, 2, 3, 4}));

    // A torn record at the end whose first bytes look like the key.
    WriteFileBytes(Base + ".jlr", LastBytes(10, 1, 5, 6) + LastBytes(20, 2, 7, 8) +
                                      LastBytes(10, 3, 9, 9) + Le32(30) + "\x01\x02");
    EXPECT_TRUE(B.FindLastRead(20, rec));
    EXPECT_EQ(rec, (JamLastType{20, 2, 7, 8}));
    EXPECT_TRUE(B.FindLastRead(10, rec)); // the first of two matches
    EXPECT_EQ(rec, (JamLastType{10, 1, 5, 6}));
    EXPECT_FALSE(B.FindLastRead(30, rec));
    EXPECT_EQ(rec, (JamLastType{10, 3, 9, 9})); // the last whole record read
    EXPECT_EQ(B.HighReadById(2), 8);
    EXPECT_EQ(B.HighReadByCrc(10), 6);
    EXPECT_EQ(B.HighReadById(30), -1);
    EXPECT_EQ(B.HighReadByCrc(30), -1);
}

// ClearLastRead marks a record free with both keys -1, and the name CRC of an
// empty name is -1 as well: "L" on a message without a sender must not show a
// freed record as that sender's.
TEST_F(ReadTest, FreedLastReadRecordMatchesNoLookup) {
    JamFixture f;
    ASSERT_TRUE(OpenFixture(f));
    const int32_t emptyCrc = static_cast<int32_t>(StrCrc32(""));
    ASSERT_EQ(emptyCrc, -1);
    WriteFileBytes(Base + ".jlr", LastBytes(-1, -1, 5, 6) + LastBytes(10, 1, 7, 8));
    JamLastType rec;
    EXPECT_FALSE(B.FindLastRead(emptyCrc, rec));
    EXPECT_EQ(B.HighReadByCrc(-1), -1);
    EXPECT_EQ(B.HighReadById(-1), -1);
    EXPECT_TRUE(B.FindLastRead(10, rec)); // a live record after a freed one
    EXPECT_EQ(rec, (JamLastType{10, 1, 7, 8}));

    // Only both keys -1 mark a freed record: a user whose name CRC is -1
    // (an empty name) is still found, and so is a user numbered -1.
    WriteFileBytes(Base + ".jlr", LastBytes(-1, -1, 5, 6) + LastBytes(-1, 4, 9, 9));
    EXPECT_TRUE(B.FindLastRead(emptyCrc, rec));
    EXPECT_EQ(rec, (JamLastType{-1, 4, 9, 9}));
    WriteFileBytes(Base + ".jlr", LastBytes(-1, -1, 5, 6) + LastBytes(3, -1, 2, 2));
    EXPECT_EQ(B.HighReadById(-1), 2);
}

} // namespace

// Deleting, creating, adding and last-read updates, checked byte by byte.

#include "jam/JamBase.h"
#include "tests/common/JamFixture.h"

#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr std::size_t TxtLenAt = 64;    // offset of TxtLen in a message header
constexpr std::size_t AttributeAt = 52; // offset of Attribute
constexpr std::size_t ModCounterAt = 8; // offsets in the base header
constexpr std::size_t ActiveMsgsAt = 12;

struct WriteTest : JamBaseTest {
    void OpenFixture(const JamFixture& F) { ASSERT_TRUE(WriteAndOpen(F)); }
    // Three messages; the second is already deleted.
    JamFixture ThreeMessages() {
        JamFixture f(BaseHdrFields{.ModCounter = 7, .ActiveMsgs = 2});
        f.AddSimple("a", "b", "one", "first text\r");
        f.AddSimple("c", "d", "two", "second\r", MSG_DELETED | MSG_LOCAL);
        f.AddSimple("e", "f", "three", "third text here\r");
        return f;
    }
};

TEST_F(WriteTest, DeleteWithoutPurgeMarksTheHeaderOnly) {
    JamFixture f = ThreeMessages();
    OpenFixture(f);
    ASSERT_TRUE(B.ReadHeader(3));
    int32_t at = B.CurHdrOffset;
    ASSERT_TRUE(B.DeleteMsg(3, false));

    BaseFiles now = ReadBaseFiles(Base);
    std::string want = f.Hdr;
    want.replace(at + AttributeAt, 4, Le32(MSG_DELETED));
    want.replace(at + TxtLenAt, 4, Le32(0));
    want.replace(ModCounterAt, 4, Le32(8));
    want.replace(ActiveMsgsAt, 4, Le32(1));
    EXPECT_EQ(now.Hdr, want);
    EXPECT_EQ(now.Idx, f.Idx);
    EXPECT_EQ(now.Txt, f.Txt);
    EXPECT_EQ(B.TotalMsgs, 3);
    EXPECT_EQ(B.BaseHdr.ModCounter, 8);
    EXPECT_EQ(B.BaseHdr.ActiveMsgs, 1);
    EXPECT_FALSE(B.BaseChanged());
    ASSERT_TRUE(B.ReadMessage(3));
    EXPECT_TRUE(B.IsDeleted());
    EXPECT_EQ(B.MsgText.Count(), 0);
}

TEST_F(WriteTest, DeleteWithPurgeFillsTheTextOnly) {
    JamFixture f = ThreeMessages();
    OpenFixture(f);
    ASSERT_TRUE(B.DeleteMsg(1, true));
    std::string want = f.Txt;
    want.replace(0, 11, std::string(11, '\x51'));
    EXPECT_EQ(ReadFileBytes(Base + ".jdt"), want);
}

TEST_F(WriteTest, DeletingADeletedMessageStillRaisesModCounter) {
    OpenFixture(ThreeMessages());
    ASSERT_TRUE(B.DeleteMsg(2, false));
    EXPECT_EQ(B.BaseHdr.ActiveMsgs, 2);
    EXPECT_EQ(B.BaseHdr.ModCounter, 8);
    ASSERT_TRUE(B.ReadHeader(2));
    EXPECT_EQ(B.MsgHdr.Attribute, MSG_DELETED | MSG_LOCAL); // other bits stay
}

TEST_F(WriteTest, DeleteOfNoMessageChangesNoFile) {
    JamFixture f = ThreeMessages();
    FixMsg none;
    none.HdrOffset = -1;
    f.Add(none);
    OpenFixture(f);
    BaseFiles before = ReadBaseFiles(Base);
    for (int32_t n : {0, -5, 5, 4}) {
        EXPECT_FALSE(B.DeleteMsg(n, true)) << n;
        EXPECT_EQ(ReadBaseFiles(Base), before) << n;
    }
}

TEST_F(WriteTest, WriteBaseHdrRaisesTheCounterAndBaseChangedSeesIt) {
    OpenFixture(ThreeMessages());
    EXPECT_FALSE(B.BaseChanged());
    B.IncModCounter();
    EXPECT_TRUE(B.BaseChanged());
    EXPECT_EQ(GetLe32(ReadFileBytes(Base + ".jhr"), ModCounterAt), 7); // memory only
    ASSERT_TRUE(B.WriteBaseHdr());
    EXPECT_EQ(GetLe32(ReadFileBytes(Base + ".jhr"), ModCounterAt), 9);
    EXPECT_TRUE(B.BaseChanged());
    ASSERT_TRUE(B.ReadBaseHdr());
    EXPECT_FALSE(B.BaseChanged());
    EXPECT_EQ(B.LastModCounter, 9);
}

TEST_F(WriteTest, CreateBaseMakesAnEmptyBase) {
    for (std::string dir : {Dir.Path(), Dir.Path() + "/"}) {
        std::string name = dir.back() == '/' ? "slash" : "plain";
        ASSERT_EQ(TJamBase::CreateBase(dir, name), JamOk);
        std::string base = Dir / name;
        std::string hdr = ReadFileBytes(base + ".jhr");
        ASSERT_EQ(hdr.size(), 1024u);
        EXPECT_EQ(hdr.substr(0, 4), std::string("JAM\0", 4));
        EXPECT_NE(GetLe32(hdr, 4), 0); // DateCreated: now
        EXPECT_EQ(GetLe32(hdr, ModCounterAt), 0);
        EXPECT_EQ(GetLe32(hdr, ActiveMsgsAt), 0);
        EXPECT_EQ(GetLe32(hdr, 16), -1);
        EXPECT_EQ(GetLe32(hdr, 20), 1);
        EXPECT_EQ(hdr.substr(24), std::string(1000, '\0'));
        for (const char* ext : {".jdx", ".jdt", ".jlr"}) {
            EXPECT_TRUE(PathExists(base + ext)) << ext;
            EXPECT_EQ(ReadFileBytes(base + ext), "") << ext;
        }
        TJamBase b;
        b.BasePath = base;
        ASSERT_TRUE(b.Open());
        EXPECT_EQ(b.TotalMsgs, 0);
        EXPECT_EQ(b.BaseHdr.ActiveMsgs, 0);
        EXPECT_EQ(b.BaseHdr.BaseMsgNum, 1);
        EXPECT_EQ(b.BaseHdr.PasswordCRC, -1);
    }
}

TEST_F(WriteTest, CreateBaseNeverReplacesAnExistingBase) {
    OpenFixture(ThreeMessages());
    WriteFileBytes(Base + ".jlr", LastBytes(1, 2, 3, 4));
    BaseFiles before = ReadBaseFiles(Base);
    EXPECT_EQ(TJamBase::CreateBase(Dir.Path(), "base"), JamErrExists);
    EXPECT_EQ(ReadBaseFiles(Base), before);
}

TEST_F(WriteTest, CreateBaseReportsTheFileItCouldNotMake) {
    EXPECT_EQ(TJamBase::CreateBase(Dir / "missing", "x"), JamErrHdrCreate);
    EXPECT_FALSE(PathExists(Dir / "missing"));
    // A directory in the way of a file makes its creation fail.
    struct Case {
        const char* Ext;
        int16_t Code;
    };
    for (Case c : {Case{".jdx", -98}, Case{".jdt", -97}, Case{".jlr", -96}}) {
        std::string name = std::string("b") + (c.Ext + 1);
        ASSERT_EQ(::mkdir((Dir / name + c.Ext).c_str(), 0755), 0);
        EXPECT_EQ(TJamBase::CreateBase(Dir.Path(), name), c.Code) << c.Ext;
        EXPECT_EQ(ReadFileBytes(Dir / name + ".jhr").size(), 1024u); // earlier files stay
    }
}

struct AddTest : WriteTest {
    std::string TextFile = Dir / "text.txt";
    void SetUp() override {
        ASSERT_EQ(TJamBase::CreateBase(Dir.Path(), "base"), JamOk);
        B.BasePath = Base;
        ASSERT_TRUE(B.Open());
    }
};

TEST_F(AddTest, RefusedArgumentsWriteNothing) {
    WriteFileBytes(TextFile, "text");
    BaseFiles before = ReadBaseFiles(Base);
    RecEchoMailAddr none{};
    EXPECT_EQ(B.AddMessage("a", "b", "c", none, none, Dir / "nofile"), -1);
    EXPECT_EQ(B.AddMessage("a", "b", "c", none, none, Dir.Path()), -1); // a directory
    EXPECT_EQ(B.AddMessage("", "b", "c", none, none, TextFile), -2);
    EXPECT_EQ(B.AddMessage("a", "", "c", none, none, TextFile), -2);
    EXPECT_EQ(B.AddMessage("a", "b", "", none, none, TextFile), -2);
    EXPECT_EQ(ReadBaseFiles(Base), before);
}

TEST_F(AddTest, AddedMessageIsLaidOutByteForByte) {
    WriteFileBytes(Base + ".jdt", "old"); // the new text goes after what is there
    WriteFileBytes(TextFile, "0123456789");
    std::string hdrBefore = ReadFileBytes(Base + ".jhr");
    RecEchoMailAddr orig{2, 5, 100, 7}, dest{1, 2, 3, 0};
    ASSERT_EQ(B.AddMessage("Sender", "Recipient", "Subject", orig, dest, TextFile), JamOk);

    BaseFiles now = ReadBaseFiles(Base);
    EXPECT_EQ(now.Txt, std::string("old0123456789\r"));
    std::string subs = SubBytes(OADDRESS, "2:5/100.7") + SubBytes(DADDRESS, "1:2/3") +
                       SubBytes(SENDERNAME, "Sender") + SubBytes(RECEIVERNAME, "Recipient") +
                       SubBytes(SUBJECT, "Subject");
    ASSERT_EQ(now.Hdr.size(), 1024 + 76 + subs.size());
    MsgHdrFields want{.SubfieldLen = static_cast<int32_t>(subs.size()),
                      .DateWritten = GetLe32(now.Hdr, 1024 + 36),
                      .DateProcessed = GetLe32(now.Hdr, 1024 + 44),
                      .MessageNumber = 1,
                      .Attribute = MSG_TYPELOCAL,
                      .TxtOffset = 3,
                      .TxtLen = 11};
    EXPECT_NE(want.DateWritten, 0);
    EXPECT_EQ(now.Hdr.substr(1024), MsgHdrBytes(want) + subs);
    EXPECT_EQ(now.Idx, IdxBytes(static_cast<int32_t>(StrCrc32("Recipient")), 1024));
    std::string base = hdrBefore;
    base.replace(ModCounterAt, 4, Le32(1));
    base.replace(ActiveMsgsAt, 4, Le32(1));
    EXPECT_EQ(now.Hdr.substr(0, 1024), base);
    EXPECT_EQ(B.TotalMsgs, 1);
    EXPECT_EQ(B.BaseHdr.ActiveMsgs, 1);
    EXPECT_FALSE(B.BaseChanged());
}

TEST_F(AddTest, UnsetAddressesWriteOnlyTheThreeNames) {
    WriteFileBytes(TextFile, "line one\nline two\n");
    RecEchoMailAddr none{};
    std::string from(120, 'f');
    ASSERT_EQ(B.AddMessage(from, "To", "Subj", none, none, TextFile), JamOk);
    std::string hdr = ReadFileBytes(Base + ".jhr");
    EXPECT_EQ(GetLe32(hdr, 1024 + 8), 24 + 100 + 2 + 4); // names cut to 100 when written
    ASSERT_TRUE(B.ReadMessage(B.TotalMsgs));
    EXPECT_EQ(B.MsgFrom, std::string(65, 'f'));
    EXPECT_EQ(B.MsgTo, "To");
    EXPECT_EQ(B.MsgSubj, "Subj");
    ASSERT_EQ(B.MsgText.Count(), 1); // line feeds stay inside the one line
    EXPECT_EQ(B.MsgText.Get(0), "line one\nline two\n");
}

TEST_F(AddTest, RoundTripReadsBackEveryField) {
    struct Msg {
        std::string From, To, Subj, Text;
        RecEchoMailAddr Orig, Dest;
    };
    std::vector<Msg> msgs;
    for (int i = 0; i < 25; ++i) {
        std::string text;
        for (int l = 0; l < i % 5; ++l)
            text += "line " + std::to_string(l) + " of " + std::to_string(i) + "\r";
        msgs.push_back({"From " + std::to_string(i), "To \x8e" + std::to_string(i),
                        "Subject " + std::string(i * 3, 's'), text,
                        RecEchoMailAddr{uint16_t(i % 3), 5, uint16_t(i), 0}, RecEchoMailAddr{}});
    }
    for (const Msg& m : msgs) {
        WriteFileBytes(TextFile, m.Text);
        ASSERT_EQ(B.AddMessage(m.From, m.To, m.Subj, m.Orig, m.Dest, TextFile), JamOk);
    }
    EXPECT_EQ(B.DeleteMsg(4, true), true);

    TJamBase r;
    r.BasePath = Base;
    ASSERT_TRUE(r.Open());
    ASSERT_EQ(r.TotalMsgs, 25);
    EXPECT_EQ(r.BaseHdr.ActiveMsgs, 24);
    EXPECT_EQ(r.BaseHdr.ModCounter, 26);
    std::string idx = ReadFileBytes(Base + ".jdx");
    for (int32_t n = 1; n <= r.TotalMsgs; ++n) {
        const Msg& m = msgs[n - 1];
        SCOPED_TRACE(n);
        ASSERT_TRUE(r.ReadMessage(n));
        EXPECT_EQ(r.MsgFrom, m.From);
        EXPECT_EQ(r.MsgTo, m.To);
        EXPECT_EQ(r.MsgSubj, m.Subj.substr(0, 100));
        EXPECT_EQ(r.MsgHdr.MessageNumber, n);
        EXPECT_EQ(r.MsgHdr.Revision, 1);
        EXPECT_EQ(r.IsDeleted(), n == 4);
        EXPECT_EQ(r.MsgHdr.Attribute & ~MSG_DELETED, MSG_TYPELOCAL);
        EXPECT_EQ(GetLe32(idx, (n - 1) * 8), static_cast<int32_t>(StrCrc32(m.To)));
        EXPECT_EQ(GetLe32(idx, (n - 1) * 8 + 4), r.CurHdrOffset);
        std::string back;
        for (const std::string& line : r.MsgText) back += line + "\r";
        EXPECT_EQ(back, n == 4 ? "" : m.Text + "\r");
    }
}

struct LastReadTest : WriteTest {
    std::string Lr = Base + ".jlr";
    void SetUp() override {
        ASSERT_EQ(TJamBase::CreateBase(Dir.Path(), "base"), JamOk);
        WriteFileBytes(Lr, LastBytes(111, 1, 10, 11) + LastBytes(222, 2, 20, 22));
        B.BasePath = Base; // the last-read operations need no open base
    }
};

TEST_F(LastReadTest, SetLastReadUpdatesOrAppends) {
    ASSERT_TRUE(B.SetLastRead(2, 50));
    EXPECT_EQ(ReadFileBytes(Lr), LastBytes(111, 1, 10, 11) + LastBytes(222, 2, 50, 50));
    ASSERT_TRUE(B.SetLastRead(7, 70));
    EXPECT_EQ(ReadFileBytes(Lr),
              LastBytes(111, 1, 10, 11) + LastBytes(222, 2, 50, 50) + LastBytes(7, 7, 70, 70));
    EXPECT_EQ(B.HighReadById(7), 70);
    EXPECT_EQ(B.HighReadByCrc(222), 50);
}

TEST_F(LastReadTest, ClearLastReadFreesTheRecordAndKeepsItsNumbers) {
    B.ClearLastRead(1);
    EXPECT_EQ(ReadFileBytes(Lr), LastBytes(-1, -1, 10, 11) + LastBytes(222, 2, 20, 22));
    B.ClearLastRead(9);
    EXPECT_EQ(ReadFileBytes(Lr), LastBytes(-1, -1, 10, 11) + LastBytes(222, 2, 20, 22));
    EXPECT_EQ(B.HighReadById(1), -1);
}

// Updates never take a freed record for the user's: user -1 would match it by
// number, and a record written for user -1 would itself read as freed.
TEST_F(LastReadTest, FreedRecordIsNeitherUpdatedNorCleared) {
    const std::string freed = LastBytes(-1, -1, 10, 11) + LastBytes(222, 2, 20, 22);
    WriteFileBytes(Lr, freed);
    EXPECT_FALSE(B.SetLastRead(-1, 50));
    B.ClearLastRead(-1);
    EXPECT_EQ(ReadFileBytes(Lr), freed);
    ASSERT_TRUE(B.SetLastRead(5, 60)); // a new user is appended
    EXPECT_EQ(ReadFileBytes(Lr), freed + LastBytes(5, 5, 60, 60));
}

TEST_F(LastReadTest, LastReadWorksAlsoWithTheBaseOpen) {
    ASSERT_TRUE(B.Open());
    ASSERT_TRUE(B.SetLastRead(1, 99));
    B.ClearLastRead(2);
    EXPECT_EQ(ReadFileBytes(Lr), LastBytes(111, 1, 99, 99) + LastBytes(-1, -1, 20, 22));
}

TEST_F(LastReadTest, MissingLastReadFile) {
    std::remove(Lr.c_str());
    EXPECT_FALSE(B.SetLastRead(1, 1));
    B.ClearLastRead(1);
    EXPECT_FALSE(PathExists(Lr));
    EXPECT_EQ(B.HighReadById(1), -1);
    EXPECT_EQ(B.HighReadByCrc(111), -1);
}

} // namespace

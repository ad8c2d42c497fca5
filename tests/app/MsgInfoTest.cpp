// The pure side of the information boxes and exports: the rows a box shows,
// the blocks found in a text with the names offered for them, and the two file
// writers (an export that fails leaves no partial file; the fixed temporary
// file is never written through a link or into somebody else's file).
#include "app/MsgInfo.h"
#include "support/FileDesc.h"
#include "terminal/AnsiViewer.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TempDirFixture.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/fsuid.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Restores the working directory a test changes.
struct CwdGuard {
    std::filesystem::path Saved = std::filesystem::current_path();
    ~CwdGuard() { std::filesystem::current_path(Saved); }
};

TStringList Lines(const std::vector<std::string>& L) {
    TStringList s;
    for (const std::string& line : L) s.Add(line);
    return s;
}

TEST(MsgInfoBoxes, BaseHeaderRowsShowEveryFieldWithItsLabel) {
    JamHdrType h;
    h.DateCreated = 1593835520; // 2020-07-04 04:05:20
    h.ModCounter = 0x1234ABCD;
    h.ActiveMsgs = 17;
    h.PasswordCRC = -1;
    h.BaseMsgNum = 300;
    std::vector<TInfoRow> want = {
        {"Created      :", "04:05 04-07-2020"},
        {"ModCount     :", "1234abcd"},
        {"Active Msgs  :", "17"},
        {"PWD CRC      :", "ffffffff"},
        {"Base Msg Num :", "300"},
        {"Total Msgs   :", "42"},
    };
    EXPECT_EQ(BaseHeaderRows(h, 42), want);
}

TEST(MsgInfoBoxes, LastReadRowsTitleAndNotFoundText) {
    JamLastType r{0x11111111, 7, 120, -5};
    std::vector<TInfoRow> want = {
        {"Last Read    :", "120"},
        {"High Read    :", "-5"},
        {"User CRC     :", "0a0b0c0d HEX"},
        {"User ID      :", "7"},
    };
    EXPECT_EQ(LastReadRows(r, 0x0A0B0C0D), want);
    EXPECT_EQ(LastReadTitle("Joe Sysop"), "User Last Read - Joe Sysop");
    EXPECT_EQ(NotFoundText("Joe Sysop"), "User Joe Sysop not found in Index.");
}

TEST(MsgInfoBoxes, MsgHeaderRowsShowNumbersAndThreeDates) {
    JamMsgHdrType h;
    h.MessageNumber = 4711;
    h.TimesRead = 3;
    h.DateWritten = 1593835520;
    h.DateReceived = 1700000000; // 2023-11-14 22:13:20
    h.DateProcessed = -20;       // before 1970 shows the epoch
    h.ReplyTo = 4700;
    std::vector<TInfoRow> want = {
        {"Msg Num      :", "4711"},
        {"Read Count   :", "3"},
        {"Written      :", "04:05 04-07-2020"},
        {"Received     :", "22:13 14-11-2023"},
        {"Arrived      :", "00:00 01-01-1970"},
        {"Reply To     :", "4700"},
    };
    EXPECT_EQ(MsgHeaderRows(h), want);
}

TEST(MsgInfoBoxes, FlagRowsMarkEachSetAttributeWhiteOnCyan) {
    EXPECT_EQ(FlagLabel(" Local ", true), "|15|19 Local ");
    EXPECT_EQ(FlagLabel(" Local ", false), "|08|23 Local ");

    TJamBase b;
    b.MsgHdr.Attribute = MSG_LOCAL | MSG_CRASH | MSG_READ | MSG_FILEATTACH;
    std::vector<std::string> want = {
        "|15|19 Local |08|23 Del |08|23 Priv |08|23 Locked |15|19 Crash ",
        "|08|23 Sent |15|19 Received |08|23 KillSent |15|19 Attach ",
    };
    EXPECT_EQ(MsgFlagRows(b), want);
    b.MsgHdr.Attribute = MSG_DELETED | MSG_PRIVATE | MSG_LOCKED | MSG_SENT | MSG_KILLSENT;
    want = {
        "|08|23 Local |15|19 Del |15|19 Priv |15|19 Locked |08|23 Crash ",
        "|15|19 Sent |08|23 Received |15|19 KillSent |08|23 Attach ",
    };
    EXPECT_EQ(MsgFlagRows(b), want);
}

// ---------------------------------------------------------------------------
// Blocks: ExtractBlocks driven by a script of answers.

struct Script {
    std::vector<bool> Answers;        // one per question, in order
    std::vector<std::string> Choices; // one per chooser opened: '' is Esc
    bool SaveWorks = true;
    std::vector<std::string> Offered;                       // names the chooser was opened with
    std::vector<std::pair<std::string, std::string>> Saved; // path, bytes
    std::size_t Asked = 0;

    Script(std::vector<bool> A, std::vector<std::string> C, bool Works = true)
        : Answers(std::move(A)), Choices(std::move(C)), SaveWorks(Works) {}

    TBlockPrompts Prompts() {
        return {
            [this] { return Asked < Answers.size() && Answers[Asked++]; },
            [this](const std::string& Name) {
                std::size_t n = Offered.size();
                Offered.push_back(Name);
                return n < Choices.size() ? Choices[n] : std::string();
            },
            [this](const std::string& Path, const std::string& Bytes) {
                Saved.emplace_back(Path, Bytes);
                return SaveWorks;
            },
        };
    }
};

const TStringList TwoUue = Lines({
    "Hi,",             // 0
    "begin 644 a.zip", // 1
    "M5&AI<R!I<R!A",   // 2
    "end",             // 3
    "between",         // 4
    "begin 600 b.bin", // 5
    "M9&%T80``",       // 6
    "`",               // 7
    "end",             // 8
    "bye",             // 9
});

TEST(MsgInfoBlocks, TwoUueBlocksAreOfferedAsOneAndTwo) {
    Script s{{true, true}, {"/x/one", "/x/two"}};
    EXPECT_EQ(ExtractBlocks(TBlockKind::bkUUE, TwoUue, "Joe", s.Prompts()), 2);
    EXPECT_EQ(s.Offered, (std::vector<std::string>{"Joe1.uue", "Joe2.uue"}));
    std::vector<std::pair<std::string, std::string>> want = {
        {"/x/one", "begin 644 a.zip\nM5&AI<R!I<R!A\nend\n"},
        {"/x/two", "begin 600 b.bin\nM9&%T80``\n`\nend\n"},
    };
    EXPECT_EQ(s.Saved, want);
}

TEST(MsgInfoBlocks, DeclinedOrCancelledOrFailedBlockKeepsTheRunningNumber) {
    struct Case {
        const char* What;
        Script S;
        std::vector<std::string> Offered;
        int32_t SavedCount;
    };
    std::vector<Case> cases = {
        {"question answered NO", {{false, true}, {"/x/b"}}, {"Joe1.uue"}, 1},
        {"chooser left with Esc", {{true, true}, {"", "/x/b"}}, {"Joe1.uue", "Joe1.uue"}, 1},
        {"file not written", {{true, true}, {"/x/a", "/x/b"}, false}, {"Joe1.uue", "Joe1.uue"}, 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(ExtractBlocks(TBlockKind::bkUUE, TwoUue, "Joe", c.S.Prompts()), c.SavedCount);
        EXPECT_EQ(c.S.Offered, c.Offered);
        EXPECT_EQ(c.S.Asked, 2u);
    }
}

// A block ends with the first line after its start that holds "end", or
// with the text's last line.
TEST(MsgInfoBlocks, UueBlockEndsAtTheFirstEndLineAfterItsStart) {
    struct Case {
        const char* What;
        TStringList Text;
        std::string Saved;
    };
    const Case cases[] = {
        {"no end line", Lines({"x", "begin 644 f", "M1", "M2"}), "begin 644 f\nM1\nM2\n"},
        {"a start line naming a file with end in it",
         Lines({"begin 644 legend.zip", "M1", "end", "after"}), "begin 644 legend.zip\nM1\nend\n"},
        {"end anywhere in a line", Lines({"begin 644 f", "M1", "the end.", "M2"}),
         "begin 644 f\nM1\nthe end.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Script s{{true}, {"/x/f"}};
        EXPECT_EQ(ExtractBlocks(TBlockKind::bkUUE, c.Text, "A", s.Prompts()), 1);
        ASSERT_EQ(s.Saved.size(), 1u);
        EXPECT_EQ(s.Saved[0].second, c.Saved);
    }
}

TEST(MsgInfoBlocks, WhichLinesStartABlock) {
    struct Case {
        TBlockKind Kind;
        const char* Line;
        bool Start;
    };
    const Case cases[] = {
        {TBlockKind::bkUUE, "begin 644 file.zip", true},
        {TBlockKind::bkUUE, "see: begin 644 x", true},
        {TBlockKind::bkUUE, "begin 644 ", true},
        {TBlockKind::bkUUE, "begin 644", false},
        {TBlockKind::bkUUE, "begin 64x file", false},
        {TBlockKind::bkUUE, "Begin 644 file", false},
        {TBlockKind::bkUUE, "begin begin 123 x", true},
        {TBlockKind::bkPGP, "-----BEGIN PGP SIGNATURE-----", true},
        {TBlockKind::bkPGP, "> -----BEGIN PGP PUBLIC KEY BLOCK-----", true},
        {TBlockKind::bkPGP, "-----BEGIN PGP", false},
        {TBlockKind::bkPGP, "-----begin pgp message-----", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsBlockStart(c.Kind, c.Line), c.Start) << c.Line;
}

TEST(MsgInfoBlocks, StartOnTheLastLineIsNotOffered) {
    for (TBlockKind kind : {TBlockKind::bkUUE, TBlockKind::bkPGP}) {
        TStringList text = Lines({"text", "begin 644 x -----BEGIN PGP MESSAGE-----"});
        Script s{{true}, {"/x/f"}};
        EXPECT_EQ(ExtractBlocks(kind, text, "A", s.Prompts()), 0);
        EXPECT_EQ(s.Asked, 0u);
    }
}

TEST(MsgInfoBlocks, QuotedPgpBlockIsSavedWithoutItsPrefix) {
    TStringList text = Lines({
        "Joe wrote:",
        "> -----BEGIN PGP PUBLIC KEY BLOCK-----",
        "> ",
        ">",
        "> mQENBF0abc",
        "> -----END PGP PUBLIC KEY BLOCK-----",
        "> -----BEGIN PGP SIGNATURE-----",
        "> iQEz",
    });
    Script s{{true, true}, {"/x/k", "/x/s"}};
    EXPECT_EQ(ExtractBlocks(TBlockKind::bkPGP, text, "Joe Doe", s.Prompts()), 2);
    EXPECT_EQ(s.Offered, (std::vector<std::string>{"Joe_Doe1.pgp", "Joe_Doe2.pgp"}));
    ASSERT_EQ(s.Saved.size(), 2u);
    // A line shorter than the marker's column is written empty.
    EXPECT_EQ(s.Saved[0].second, "-----BEGIN PGP PUBLIC KEY BLOCK-----\n\n\nmQENBF0abc\n"
                                 "-----END PGP PUBLIC KEY BLOCK-----\n");
    EXPECT_EQ(s.Saved[1].second, "-----BEGIN PGP SIGNATURE-----\niQEz\n");
}

TEST(MsgInfoNames, OfferedNamesStayInTheChosenDirectory) {
    struct Case {
        std::string From;
        int32_t K;
        TBlockKind Kind;
        std::string Want;
    };
    const Case cases[] = {
        {"Joe", 1, TBlockKind::bkUUE, "Joe1.uue"},
        {"../../etc/passwd", 2, TBlockKind::bkUUE, "_._.._etc_passwd2.uue"},
        {"/root", 1, TBlockKind::bkPGP, "_root1.pgp"},
        {"..", 1, TBlockKind::bkPGP, "_.1.pgp"},
        {std::string("A\x01\x1b[2J\n\x8e\0z", 10), 3, TBlockKind::bkUUE, "A___2J___z3.uue"},
        {"Dr. J-P_Smith", 1, TBlockKind::bkUUE, "Dr._J-P_Smith1.uue"},
        {"", 1, TBlockKind::bkUUE, "1.uue"},
    };
    for (const Case& c : cases) EXPECT_EQ(BlockName(c.Kind, c.From, c.K), c.Want) << c.From;
    EXPECT_EQ(SafeFileName(""), "_");
    EXPECT_EQ(SafeFileName("."), "_");
    EXPECT_EQ(ExportName(42), "msg00042.txt");
    EXPECT_EQ(ExportName(99999), "msg99999.txt");
    EXPECT_EQ(ExportName(123456), "msg123456.txt");
}

TEST(MsgInfoNames, TextBytesEndEveryLineWithLineFeed) {
    EXPECT_EQ(TextBytes(Lines({})), "");
    EXPECT_EQ(TextBytes(Lines({""})), "\n");
    EXPECT_EQ(TextBytes(Lines({"a\x1b[1m", "", std::string("b\0\x8e\r", 4)})),
              std::string("a\x1b[1m\n\nb\0\x8e\r\n", 12));
}

// ---------------------------------------------------------------------------
// The file writers.

class MsgInfoFiles : public TempDirTest {
protected:
    // A file size limit for this process, so a write fails half way as on a
    // full disk; SIGXFSZ is ignored so the write reports EFBIG instead.
    struct SizeLimit {
        rlimit Old{};
        void (*OldHandler)(int) = nullptr;
        explicit SizeLimit(rlim_t Bytes) {
            getrlimit(RLIMIT_FSIZE, &Old);
            OldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit r = Old;
            r.rlim_cur = Bytes;
            setrlimit(RLIMIT_FSIZE, &r);
        }
        ~SizeLimit() {
            setrlimit(RLIMIT_FSIZE, &Old);
            std::signal(SIGXFSZ, OldHandler);
        }
    };
    const uint32_t Me = static_cast<uint32_t>(::geteuid());
};

// The user's own file of any mode is mode 600 before the text goes in. One
// the group or others could read may be held open by one of them since: the
// text goes into a new file, and what they hold keeps the old text.
TEST_F(MsgInfoFiles, OwnTempFileIsMadePrivateAndNoneHeldOpenSeesTheText) {
    const std::string f = Path() + "/quorvex.tmp";
    struct Case {
        mode_t Mode;
        bool Exposed; // the group or others could open it
    };
    const Case cases[] = {{0644, true},  {0666, true},  {0640, true}, {0604, true},
                          {0600, false}, {0700, false}, {0400, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Mode);
        Put("quorvex.tmp", "an older message\n");
        ASSERT_EQ(::chmod(f.c_str(), c.Mode), 0);
        TFileDesc held;
        ASSERT_TRUE(held.Open(f, O_RDONLY));
        EXPECT_EQ(WriteTempFile(f, "private netmail\n", Me), 0);
        struct stat st {};
        ASSERT_EQ(::lstat(f.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode, S_IFREG | 0600);
        EXPECT_EQ(ReadFileBytes(f), "private netmail\n");
        char buf[64] = {};
        int err = 0;
        const int64_t n = ::PReadAll(held.Fd(), buf, sizeof buf, 0, err);
        EXPECT_EQ(std::string(buf, static_cast<size_t>(n)),
                  c.Exposed ? "an older message\n" : "private netmail\n");
        std::filesystem::remove(f);
    }
}

// Whether a file was opened for writing while this watch was on it: the
// kernel reports the close of such an open, even one that wrote nothing.
class WriteOpenWatch {
public:
    explicit WriteOpenWatch(const std::string& Name) : Fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(Fd, 0);
        EXPECT_GE(inotify_add_watch(Fd, Name.c_str(), IN_CLOSE_WRITE), 0) << Name;
    }
    ~WriteOpenWatch() { ::close(Fd); }
    WriteOpenWatch(const WriteOpenWatch&) = delete;
    WriteOpenWatch& operator=(const WriteOpenWatch&) = delete;
    bool Seen() const {
        alignas(inotify_event) char buf[4096];
        return ::read(Fd, buf, sizeof buf) > 0;
    }

private:
    int Fd;
};

// The names in Dir, sorted: what an export left there, hidden files included.
std::vector<std::string> Entries(const std::string& Dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(MsgInfoFiles, ExportWritesExactBytesOverALongerFileAndKeepsItsMode) {
    std::string f = Put("out.txt", std::string(5000, 'x'));
    ASSERT_EQ(::chmod(f.c_str(), 0640), 0);
    EXPECT_EQ(WriteExportFile(f, "line 1\n\n\x8e\n"), 0);
    EXPECT_EQ(ReadFileBytes(f), "line 1\n\n\x8e\n");
    struct stat st {};
    ASSERT_EQ(::lstat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, S_IFREG | 0640);
    EXPECT_EQ(WriteExportFile(Path() + "/new.txt", ""), 0);
    EXPECT_TRUE(PathExists(Path() + "/new.txt"));
    EXPECT_EQ(Entries(Path()), (std::vector<std::string>{"new.txt", "out.txt"}));
}

TEST_F(MsgInfoFiles, ExportIntoADirectorySaysSo) {
    ASSERT_EQ(::mkdir((Path() + "/d").c_str(), 0755), 0);
    EXPECT_EQ(WriteExportFile(Path() + "/d", "text\n"), EISDIR);
    EXPECT_EQ(WriteExportFile(Path() + "/missing/x.txt", "text\n"), ENOENT);
    EXPECT_EQ(WriteFailText(Path() + "/d"), "Could not write " + Path() + "/d!");
    std::string longName = "/" + std::string(100, 'a') + "/end.txt";
    EXPECT_EQ(WriteFailText(longName),
              "Could not write " + longName.substr(longName.size() - 59) + "!");
    EXPECT_EQ(WriteFailText(longName).size(), 76u);
}

// An export that cannot be written whole: an old file is still there as it
// was, a new one is not there at all, and nothing is left beside them.
TEST_F(MsgInfoFiles, ExportThatCannotBeWrittenWholeKeepsTheOldFileOrLeavesNone) {
    std::string f = Put("big.txt", "old");
    {
        SizeLimit limit(1000);
        EXPECT_EQ(WriteExportFile(f, std::string(3000, 'y')), EFBIG);
        EXPECT_EQ(WriteExportFile(Path() + "/new.txt", std::string(3000, 'y')), EFBIG);
    }
    EXPECT_EQ(ReadFileBytes(f), "old");
    EXPECT_EQ(Entries(Path()), std::vector<std::string>{"big.txt"});
}

// The same on a file system that is full: a tmpfs of 64 KiB mounted in a
// mount namespace of this test's own, so nothing is seen outside it.
TEST_F(MsgInfoFiles, ExportOnAFullDiskKeepsTheOldFile) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no mount namespace of its own here";
    const std::string small = Path() + "/small";
    ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        std::string Dir;
        ~Unmount() { ::umount2(Dir.c_str(), MNT_DETACH); }
    } unmount{small};
    const std::string f = small + "/msg00001.txt";
    WriteFileBytes(f, "the old text\n");
    {
        TFileDesc fill;
        ASSERT_TRUE(fill.Open(small + "/fill", O_WRONLY | O_CREAT, 0644));
        const std::string block(4096, 'f');
        while (fill.WriteAll(block)) {
        }
    }
    const std::string text(16384, 'n');
    EXPECT_EQ(WriteExportFile(f, text), ENOSPC);
    EXPECT_EQ(ReadFileBytes(f), "the old text\n");
    EXPECT_EQ(WriteExportFile(small + "/new.txt", text), ENOSPC);
    EXPECT_EQ(Entries(small), (std::vector<std::string>{"fill", "msg00001.txt"}));

    ASSERT_EQ(::unlink((small + "/fill").c_str()), 0); // room again
    EXPECT_EQ(WriteExportFile(f, text), 0);
    EXPECT_EQ(ReadFileBytes(f), text);
    EXPECT_EQ(Entries(small), std::vector<std::string>{"msg00001.txt"});
}

// A directory this user may not write, holding a file the user may: no file
// can be made beside it, so it is written where it lies, and only once the
// room for the whole text is taken. File modes refuse nothing to root, so as
// root file access goes to user 65534 (setfsuid), or the test is skipped.
TEST_F(MsgInfoFiles, ExportIntoAFileOfADirectoryThatCannotBeWrittenRewritesItInPlace) {
    ASSERT_EQ(::chmod(Path().c_str(), 0755), 0);
    const std::string dir = Path() + "/shut";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    const std::string f = dir + "/msg.txt";
    WriteFileBytes(f, "an old and longer text\n");
    ASSERT_EQ(::chmod(f.c_str(), 0666), 0);
    struct stat was {};
    ASSERT_EQ(::stat(f.c_str(), &was), 0);
    const FileAccessAsOtherUser other;
    if (TFileDesc probe; probe.Open(dir + "/probe", O_WRONLY | O_CREAT | O_EXCL, 0600)) {
        ::unlink((dir + "/probe").c_str());
        GTEST_SKIP() << "file modes refuse nothing here";
    }
    EXPECT_EQ(WriteExportFile(f, "new\n"), 0);
    EXPECT_EQ(ReadFileBytes(f), "new\n");
    {
        SizeLimit limit(1000);
        EXPECT_EQ(WriteExportFile(f, std::string(3000, 'y')), EFBIG);
    }
    EXPECT_EQ(ReadFileBytes(f), "new\n");
    struct stat now {};
    ASSERT_EQ(::stat(f.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"msg.txt"});
}

// Another user's file in a directory this user may write: it is replaced
// only when the user may write the file itself, as cp or an editor would
// decide. A file the user may not write is left as it is, its owner's, and
// the writer says so. In a sticky directory the name of another owner's file
// cannot be taken by a rename, but a file the user may write is still
// written, where it lies. As root, file access goes to user 65534.
TEST_F(MsgInfoFiles, ExportOverAnotherUsersFileOnlyWhereTheUserMayWriteIt) {
    ASSERT_EQ(::chmod(Path().c_str(), 0755), 0);
    struct Case {
        const char* What;
        mode_t DirMode;
        mode_t FileMode;
        int Want;
        bool SameFile; // the very file is kept, root's (refused, or written in place)
    };
    const Case cases[] = {
        {"read-only file in a shared directory", 0777, 0444, EACCES, true},
        {"file only its owner may write, shared directory", 0777, 0644, EACCES, true},
        {"file only its owner may write, sticky directory", 01777, 0644, EACCES, true},
        {"file all may write, sticky directory", 01777, 0666, 0, true},
        {"file all may write, shared directory", 0777, 0666, 0, false},
    };
    const std::string old = "root's own text, longer than the export\n";
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string dir = Path() + "/d" + std::to_string(++serial);
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(dir.c_str(), c.DirMode), 0);
        const std::string f = dir + "/shared.txt";
        WriteFileBytes(f, old);
        ASSERT_EQ(::chmod(f.c_str(), c.FileMode), 0);
        struct stat was {};
        ASSERT_EQ(::stat(f.c_str(), &was), 0);
        int got;
        {
            const FileAccessAsOtherUser other;
            if (TFileDesc probe; (c.FileMode & 0002) == 0 && probe.Open(f, O_WRONLY))
                GTEST_SKIP() << "file modes refuse nothing here";
            got = WriteExportFile(f, "export\n");
        }
        EXPECT_EQ(got, c.Want);
        EXPECT_EQ(ReadFileBytes(f), c.Want == 0 ? "export\n" : old);
        struct stat now {};
        ASSERT_EQ(::stat(f.c_str(), &now), 0);
        if (c.SameFile) {
            EXPECT_EQ(now.st_ino, was.st_ino);
            EXPECT_EQ(now.st_uid, 0u);
            EXPECT_EQ(now.st_mode, was.st_mode);
        }
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"shared.txt"});
    }
}

// A signal that ends the program while an export is written takes the
// unfinished file with it, as the program's handler does (RemoveArmedFile):
// the hidden file beside an old file, and a new file. A file size limit
// stops the export in its write; its signal stands in for any other here.
TEST_F(MsgInfoFiles, SignalDuringAnExportLeavesNoUnfinishedFile) {
    const std::string old = Put("old.txt", "the old text\n");
    for (const std::string& name : {old, Path() + "/new.txt"}) {
        SCOPED_TRACE(name);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            struct sigaction act {};
            act.sa_handler = [](int) {
                RemoveArmedFile();
                ::_exit(3);
            };
            ::sigaction(SIGXFSZ, &act, nullptr);
            rlimit r{};
            ::getrlimit(RLIMIT_FSIZE, &r);
            r.rlim_cur = 1000;
            ::setrlimit(RLIMIT_FSIZE, &r);
            ::_exit(WriteExportFile(name, std::string(3000, 'y')) == 0 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "status " << status;
        EXPECT_EQ(ReadFileBytes(old), "the old text\n");
        EXPECT_EQ(Entries(Path()), std::vector<std::string>{"old.txt"});
    }
}

// What is not a regular file at the chosen name is neither written nor
// opened: a symbolic link (dangling or not) planted by someone who may write
// the directory, a FIFO with a reader waiting, a directory. A hard link is a
// regular file: its name gets the export, the file it shares stays as it was
// (opened, to learn whether this user may write it, but not written).
TEST_F(MsgInfoFiles, ExportRefusesWhatIsNotAPlainFileWithoutOpeningIt) {
    const std::string f = Path() + "/msg00013.txt";
    const std::string victim = Put("victim", "precious");
    struct Case {
        const char* What;
        std::function<void()> Plant;
        int Want;
        std::string Watched; // the file that must not be opened for writing, if any
    };
    std::vector<Case> cases = {
        {"symbolic link to a file", [&] { ::symlink(victim.c_str(), f.c_str()); }, ExportSymlink,
         victim},
        {"dangling symbolic link", [&] { ::symlink((Path() + "/nowhere").c_str(), f.c_str()); },
         ExportSymlink, victim},
        {"FIFO", [&] { ::mkfifo(f.c_str(), 0600); }, EINVAL, f},
        {"directory", [&] { ::mkdir(f.c_str(), 0700); }, EISDIR, f},
        {"hard link to a file", [&] { ::link(victim.c_str(), f.c_str()); }, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        c.Plant();
        TFileDesc reader; // a FIFO's reader, so that a write would not fail
        struct stat st {};
        if (::lstat(f.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
            ASSERT_TRUE(reader.Open(f, O_RDONLY | O_NONBLOCK));
        }
        std::optional<WriteOpenWatch> watch;
        if (!c.Watched.empty()) watch.emplace(c.Watched);
        EXPECT_EQ(WriteExportFile(f, "export\n"), c.Want);
        if (watch) {
            EXPECT_FALSE(watch->Seen());
        }
        EXPECT_EQ(ReadFileBytes(victim), "precious");
        EXPECT_FALSE(PathExists(Path() + "/nowhere"));
        if (reader.IsOpen()) {
            char got[16];
            EXPECT_LE(::read(reader.Fd(), got, sizeof got), 0);
        }
        if (c.Want == 0) {
            EXPECT_EQ(ReadFileBytes(f), "export\n");
        }
        std::filesystem::remove_all(f);
    }
}

// The writer's two ways on names where their guards matter: the create takes
// no name at which anything stands (a file, a link, dangling or not), and the
// rewrite in place follows no link. What stands there, and what a link leads
// to, stay as they were.
TEST_F(MsgInfoFiles, CreateTakesNoNameInUseAndRewriteInPlaceFollowsNoLink) {
    const std::string f = Path() + "/msg.txt";
    const std::string victim = Put("victim", "precious");
    const std::string nowhere = Path() + "/nowhere";
    const auto toVictim = [&] { ::symlink(victim.c_str(), f.c_str()); };
    const auto dangling = [&] { ::symlink(nowhere.c_str(), f.c_str()); };
    const auto plain = [&] { WriteFileBytes(f, "the old text\n"); };
    struct Case {
        const char* What;
        std::function<void()> Plant;
        bool InPlace;
        int Want;
    };
    const Case cases[] = {
        {"create on a file", plain, false, EEXIST},
        {"create on a link to a file", toVictim, false, EEXIST},
        {"create on a dangling link", dangling, false, EEXIST},
        {"in place on a link to a file", toVictim, true, ExportSymlink},
        {"in place on a dangling link", dangling, true, ExportSymlink},
        {"in place on a file", plain, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        c.Plant();
        struct stat was {};
        ASSERT_EQ(::lstat(f.c_str(), &was), 0);
        EXPECT_EQ(c.InPlace ? RewriteExportInPlace(f, "export\n") : CreateExportFile(f, "export\n"),
                  c.Want);
        EXPECT_EQ(ReadFileBytes(victim), "precious");
        EXPECT_FALSE(PathExists(nowhere));
        struct stat now {};
        ASSERT_EQ(::lstat(f.c_str(), &now), 0);
        EXPECT_EQ(now.st_ino, was.st_ino);
        if (S_ISREG(now.st_mode)) {
            EXPECT_EQ(ReadFileBytes(f), c.Want == 0 ? "export\n" : "the old text\n");
        }
        ASSERT_EQ(::unlink(f.c_str()), 0);
    }
}

// Whatever name leads to a file of the open base, an export neither writes it
// nor empties it: the chooser's check and the writer's own check on the file
// it opened (which also holds when the name changed after the chooser).
TEST_F(MsgInfoFiles, ExportNeverReplacesAFileOfTheOpenBase) {
    ASSERT_EQ(::mkdir((Path() + "/d").c_str(), 0755), 0);
    const std::string base = Path() + "/d/base";
    JamFixture fix;
    fix.AddSimple("Joe", "All", "Hi", "some text\r");
    fix.Lr = LastBytes(1, 2, 3, 4);
    fix.Write(base);
    const BaseFiles before = ReadBaseFiles(base);
    TJamBase b;
    b.BasePath = base;
    ASSERT_TRUE(b.Open());
    const TBaseFileIds keep = BaseFileIds(b);
    ASSERT_EQ(::link((base + ".jdt").c_str(), (Path() + "/hard.txt").c_str()), 0);
    ASSERT_EQ(::symlink((base + ".jhr").c_str(), (Path() + "/sym.txt").c_str()), 0);
    ASSERT_EQ(::symlink((Path() + "/nowhere").c_str(), (Path() + "/dangling.txt").c_str()), 0);
    Put("other.txt", "old");
    struct Case {
        std::string Name;
        int Want;
    };
    const Case cases[] = {
        {base + ".jdt", ExportRefused},
        {base + ".jhr", ExportRefused},
        {Path() + "/d/../d/./base.jdx", ExportRefused},
        {Path() + "//d//base.jlr", ExportRefused}, // opened only for each lookup
        {Path() + "/hard.txt", ExportRefused},
        {Path() + "/sym.txt", ExportRefused},
        {"d/base.jdt", ExportRefused}, // relative to the current directory
        {Path() + "/other.txt", 0},
        {Path() + "/new.txt", 0},
        {Path() + "/dangling.txt", ExportSymlink}, // a link, but to no file of the base
    };
    CwdGuard cwd;
    ASSERT_EQ(::chdir(Path().c_str()), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(BaseFileRefusal(keep, c.Name), c.Want == ExportRefused ? BaseFileText : "");
        EXPECT_EQ(WriteExportFile(c.Name, "export\n", keep), c.Want);
        if (c.Want == 0) {
            EXPECT_EQ(ReadFileBytes(c.Name), "export\n");
        }
    }
    EXPECT_EQ(ReadBaseFiles(base), before);
    EXPECT_LE(std::string(BaseFileText).size(), 76u); // fits the message box
}

// A file of the base that does not exist yet (a .jlr no tosser made) is
// refused by its name, however it is spelt, and no export makes it.
TEST_F(MsgInfoFiles, ExportNeverCreatesAMissingFileOfTheOpenBase) {
    ASSERT_EQ(::mkdir((Path() + "/d").c_str(), 0755), 0);
    ASSERT_EQ(::symlink((Path() + "/d").c_str(), (Path() + "/via").c_str()), 0);
    JamFixture fix;
    fix.AddSimple("Joe", "All", "Hi", "some text\r");
    fix.Write(Path() + "/d/base");
    CwdGuard cwd;
    ASSERT_EQ(::chdir(Path().c_str()), 0);
    TJamBase b;
    b.BasePath = "d/base";
    ASSERT_TRUE(b.Open());
    const TBaseFileIds keep = BaseFileIds(b);
    const std::string jlr = Path() + "/d/base.jlr";
    for (const std::string& name :
         {jlr, std::string("d/base.jlr"), std::string("./d/../d//base.jlr"),
          Path() + "/via/base.jlr", std::string("via/base.jlr")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(BaseFileRefusal(keep, name), BaseFileText);
        EXPECT_EQ(WriteExportFile(name, "export\n", keep), ExportRefused);
        EXPECT_FALSE(PathExists(jlr));
    }
    EXPECT_EQ(BaseFileRefusal(keep, "d/base.jlr.txt"), "");
    EXPECT_EQ(WriteExportFile("d/base.jlr.txt", "export\n", keep), 0);
}

TEST_F(MsgInfoFiles, TempFileIsCreatedPrivateAndReplacedWhole) {
    std::string f = Path() + "/quorvex.tmp";
    EXPECT_EQ(WriteTempFile(f, std::string(4000, 'a'), Me), 0);
    EXPECT_EQ(WriteTempFile(f, "short\n", Me), 0);
    EXPECT_EQ(ReadFileBytes(f), "short\n");
    struct stat st {};
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

TEST(MsgInfoTempFile, FixedNameServesOnlyWhenAbsentOrAPlainFileOfOnesOwn) {
    struct Case {
        const char* What;
        TTempNameState State;
        int Want;
    };
    const uint32_t me = 1000;
    const Case cases[] = {
        {"nothing there", {false, 0, 0, 0}, 0},
        {"own regular file", {true, S_IFREG | 0600, 1, me}, 0},
        {"own file any mode", {true, S_IFREG | 0644, 1, me}, 0},
        {"another user's file", {true, S_IFREG | 0666, 1, 0}, EPERM},
        {"own symbolic link", {true, S_IFLNK | 0777, 1, me}, ELOOP},
        {"own hard link", {true, S_IFREG | 0600, 2, me}, EMLINK},
        {"own directory", {true, S_IFDIR | 0700, 2, me}, EISDIR},
        {"own FIFO", {true, S_IFIFO | 0600, 1, me}, EINVAL},
        {"own device", {true, S_IFCHR | 0600, 1, me}, EINVAL},
    };
    for (const Case& c : cases) EXPECT_EQ(TempNameRefusal(c.State, me), c.Want) << c.What;
}

TEST_F(MsgInfoFiles, TempFileRefusesWhatIsNotItsOwnPlainFileWithoutOpeningIt) {
    std::string f = Path() + "/quorvex.tmp";
    std::string victim = Put("victim", "precious");
    struct Case {
        const char* What;
        std::function<void()> Plant;
        int Err;
        uint32_t Uid;
        std::string Watched; // the file that must not be opened for writing
    };
    const uint32_t me = Me;
    std::vector<Case> cases = {
        {"symbolic link to a file", [&] { ::symlink(victim.c_str(), f.c_str()); }, ELOOP, me,
         victim},
        {"dangling symbolic link", [&] { ::symlink((Path() + "/nowhere").c_str(), f.c_str()); },
         ELOOP, me, victim},
        {"directory", [&] { ::mkdir(f.c_str(), 0700); }, EISDIR, me, f},
        {"hard link to a file", [&] { ::link(victim.c_str(), f.c_str()); }, EMLINK, me, victim},
        {"FIFO", [&] { ::mkfifo(f.c_str(), 0600); }, EINVAL, me, f},
        // Writable by all, but another user's all the same.
        {"another user's file",
         [&] {
             Put("quorvex.tmp", "precious");
             ::chmod(f.c_str(), 0666);
         },
         EPERM, me + 1, f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        c.Plant();
        WriteOpenWatch watch(c.Watched);
        EXPECT_EQ(WriteTempFile(f, "message text\n", c.Uid), c.Err);
        EXPECT_FALSE(watch.Seen());
        EXPECT_EQ(ReadFileBytes(victim), "precious");
        EXPECT_FALSE(PathExists(Path() + "/nowhere"));
        struct stat st {};
        if (::lstat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1) {
            EXPECT_EQ(ReadFileBytes(f), "precious");
        }
        std::filesystem::remove_all(f);
    }
}

TEST_F(MsgInfoFiles, TempFileThatCannotBeWrittenWholeIsLeftEmpty) {
    std::string f = Put("quorvex.tmp", "old text");
    {
        SizeLimit limit(1000);
        EXPECT_EQ(WriteTempFile(f, std::string(3000, 'y'), Me), EFBIG);
    }
    EXPECT_EQ(ReadFileBytes(f), "");
}

TEST_F(MsgInfoFiles, PrivateTempFileIsNewAndOwnEachTime) {
    std::string a, b;
    ASSERT_EQ(WritePrivateTempFile(Path(), "first\n", a), 0);
    ASSERT_EQ(WritePrivateTempFile(Path() + "/", "second\n", b), 0);
    EXPECT_NE(a, b);
    for (const auto& [name, text] : {std::pair{a, "first\n"}, std::pair{b, "second\n"}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(name.rfind(Path() + "/quorvex-", 0), 0u);
        EXPECT_EQ(name.size(), Path().size() + 1 + 8 + 6);
        EXPECT_EQ(ReadFileBytes(name), text);
        struct stat st {};
        ASSERT_EQ(::lstat(name.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    std::string c = "unchanged";
    EXPECT_EQ(WritePrivateTempFile(Path() + "/missing", "text\n", c), ENOENT);
    EXPECT_EQ(c, "");
    {
        SizeLimit limit(1000); // nothing half written is left behind
        EXPECT_EQ(WritePrivateTempFile(Path(), std::string(3000, 'y'), c), EFBIG);
    }
    EXPECT_EQ(c, "");
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(Path())) files += e.exists();
    EXPECT_EQ(files, 2u);
}

TEST_F(MsgInfoFiles, PrivateTempDirIsTmpDirOnlyWhenUsable) {
    Put("plain", "x");
    ASSERT_EQ(::mkdir((Path() + "/sub").c_str(), 0700), 0);
    struct Case {
        std::optional<std::string> TmpDir;
        std::string Want;
    };
    const Case cases[] = {
        {std::nullopt, "/tmp"},
        {"", "/tmp"},
        {"relative/dir", "/tmp"},
        {Path() + "/missing", "/tmp"},
        {Path() + "/plain", "/tmp"},
        {Path() + "/sub", Path() + "/sub"},
        {Path() + "/sub//", Path() + "/sub"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrivateTempDir(c.TmpDir ? c.TmpDir->c_str() : nullptr), c.Want)
            << c.TmpDir.value_or("(unset)");
}

// ---------------------------------------------------------------------------
// The help screen.

// "H" shows help.ans in the viewer, whose first page holds 24 lines: all of
// the help must fit on it, so that it reads 100% and its last line, how to
// leave, is seen without scrolling.
TEST(MsgInfoHelp, HelpFitsTheFirstPageAndEndsWithHowToLeave) {
    const std::string name =
        (std::filesystem::path(__FILE__).parent_path() / "../../app/help.ans").string();
    const std::string bytes = ReadFileBytes(name);
    ASSERT_FALSE(bytes.empty()) << name;
    auto image = std::make_unique<TMsgBaseAnsi>(0, 0);
    for (std::size_t at = 0; at < bytes.size(); at += 4096) {
        const std::size_t n = std::min<std::size_t>(4096, bytes.size() - at);
        if (image->Feed(bytes.data() + at, static_cast<uint16_t>(n))) break;
    }
    EXPECT_LE(image->Lines, 24);
    std::string last = image->LineText(image->Lines);
    last.erase(last.find_last_not_of(std::string(" \0", 2)) + 1);
    EXPECT_EQ(last, "  Esc leaves this screen.");
}

} // namespace

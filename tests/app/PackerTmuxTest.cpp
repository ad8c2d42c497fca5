// A packer at work beside the running program: it writes a new base beside
// the open one, leaving out the text of a deleted message, and renames its
// three files over the base's names one at a time, with or without holding
// the JAM lock. Between two renames the names hold a mix of its files and the
// old ones, whose headers point into the other text. The program must keep
// reading the open base, every header with its own text, write nothing into
// the packer's files, and take the new base once all three names hold it.

#include "jam/JamBase.h"
#include "tests/common/JamFixture.h"
#include "tests/common/ProgramTmux.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

#ifndef QUORVEX_EMULATOR
#define QUORVEX_EMULATOR ""
#endif

using TOrder = std::array<std::string, 3>;

// About 150 bytes that name their message in every sentence, so that a view
// showing another message's text, or one shifted into it, is plain to see.
std::string BodyOf(int K) {
    const std::string sentence = "Body of message " + std::to_string(K) + ". ";
    std::string text;
    while (text.size() < 150) text += sentence;
    return text + "\r";
}

std::string SubjectOf(int K) {
    return "Subject " + std::to_string(K);
}

// The old base: ten messages, message 3 deleted without purge, so that its
// text still lies between those of 2 and 4. The packer's copy drops message
// 3 and its text: every later text starts about 150 bytes earlier.
void WriteBases(const std::string& Old, const std::string& New) {
    JamFixture old(BaseHdrFields{.ActiveMsgs = 9});
    JamFixture packed(BaseHdrFields{.ModCounter = 40, .ActiveMsgs = 9});
    for (int k = 1; k <= 10; ++k) {
        if (k == 3) {
            FixMsg gone;
            gone.Hdr.Attribute = MSG_DELETED;
            gone.Hdr.MessageNumber = 3;
            gone.Subfields = SubBytes(SENDERNAME, "From 3") + SubBytes(RECEIVERNAME, "All") +
                             SubBytes(SUBJECT, SubjectOf(3));
            gone.Text = BodyOf(3);
            gone.AutoText = false;
            gone.Hdr.TxtOffset = static_cast<int32_t>(old.Txt.size());
            old.Add(gone);
            continue;
        }
        old.AddSimple("From " + std::to_string(k), "All", SubjectOf(k), BodyOf(k));
        packed.AddSimple("From " + std::to_string(k), "All", SubjectOf(k), BodyOf(k));
    }
    old.Write(Old);
    packed.Write(New);
}

// Holds the JAM lock (a write lock on byte 0) on a header file in a process
// of its own, as a packer does through its renames, until released.
class TLockHolder {
public:
    explicit TLockHolder(const std::string& Hdr) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        FPid = ::fork();
        if (FPid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(Hdr.c_str(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_len = 1;
            const char ok = fd >= 0 && ::fcntl(fd, F_SETLKW, &fl) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(release[0], &c, 1); // until the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        FRelease = release[1];
        char ok = 'n';
        FHeld = FPid > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~TLockHolder() { Release(); }
    bool Held() const { return FHeld; }
    void Release() {
        if (FRelease >= 0) ::close(FRelease);
        FRelease = -1;
        if (FPid > 0) ::waitpid(FPid, nullptr, 0);
        FPid = -1;
    }

private:
    pid_t FPid = -1;
    int FRelease = -1;
    bool FHeld = false;
};

class PackerTmux : public ProgramTmux,
                   public ::testing::WithParamInterface<std::tuple<TOrder, bool>> {
protected:
    // Outside /tmp, so that the program can have a /tmp of its own: the
    // cases run side by side, and each view goes through /tmp/quorvex.tmp.
    void SetUp() override {
        ProgramTmux::SetUp();
        if (IsSkipped()) return;
        char tmpl[] = "/var/tmp/kv-packer-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        ASSERT_EQ(::mkdir((Dir + "/tmp").c_str(), 0700), 0);
        ASSERT_EQ(::chmod((Dir + "/tmp").c_str(), 01777), 0);
        Base = Dir + "/area";
        Packed = Dir + "/packed";
    }
    void TearDown() override {
        ProgramTmux::TearDown();
        std::error_code ec;
        if (!Dir.empty()) std::filesystem::remove_all(Dir, ec);
    }

    std::string Dir, Base, Packed;

    void StartOnBase() {
        TmuxRun run;
        run.Dir = Dir;
        run.Program = QUORVEX_PATH;
        run.Emulator = QUORVEX_EMULATOR;
        run.Args = ShellQuote(Base);
        run.PrivateTmp = PrivateTmpWorks();
        Start(run);
    }

    // The list rows: number and subject, as the list shows them.
    std::vector<std::string> ListRows() const {
        std::vector<std::string> rows;
        const std::vector<std::string> s = Tm->Rows();
        for (std::size_t r = 2; r < 24 && r < s.size(); ++r)
            if (!s[r].empty() && s[r][0] >= '0' && s[r][0] <= '9')
                rows.push_back(s[r].substr(0, 16));
        return rows;
    }
    static std::vector<std::string> RowsOf(const std::vector<int>& Subjects) {
        std::vector<std::string> rows;
        int n = 0;
        for (int k : Subjects) {
            std::string num = std::to_string(++n);
            std::string row = std::string(5 - num.size(), '0') + num + " " + SubjectOf(k);
            row.resize(16, ' ');
            rows.push_back(row);
        }
        return rows;
    }
    void WaitRows(const std::vector<std::string>& Want) {
        if (!Tm->WaitUntil([&] { return ListRows() == Want; }))
            ADD_FAILURE() << "never saw the rows " << Want.front() << ".." << Want.back() << ":\n"
                          << ScreenText();
    }

    // Enter on list row Row (0-based): the viewer must show the text of the
    // message whose subject is Subject N, and nothing of another's.
    void ExpectViewOf(int Row, int N) {
        Tm->Key("Home");
        for (int i = 0; i < Row; ++i) Tm->Key("Down");
        Tm->Key("Enter");
        std::string first = BodyOf(N).substr(0, 80);
        first.erase(first.find_last_not_of(' ') + 1); // as the rows come back
        if (!Tm->WaitUntil([&] {
                const std::vector<std::string> rows = Tm->Rows();
                return !rows.empty() && rows[0] == first;
            }))
            ADD_FAILURE() << "the view of row " << Row << " is not message " << N << "'s text:\n"
                          << ScreenText();
        Tm->Key("Escape");
        WaitText("ESC/Quit # H/Help");
    }

    // "D" with purge on list row Row: refused with Box.
    void ExpectDeleteRefused(int Row, const std::string& Box) {
        Tm->Key("Home");
        for (int i = 0; i < Row; ++i) Tm->Key("Down");
        Tm->Type("D");
        WaitText("Are you sure?");
        Tm->Type("y");
        WaitText("Purge text?");
        Tm->Type("y");
        WaitText(Box);
        Tm->Key("Enter");
        if (!Tm->WaitGone(Box)) ADD_FAILURE() << "the box stayed:\n" << ScreenText();
    }
};

// The packer's files, wherever they are now: at the base's names once
// renamed, beside them before.
BaseFiles PackerFiles(const std::string& Base, const std::string& Packed, const TOrder& Order,
                      int Renamed) {
    auto at = [&](const char* Ext) {
        const bool moved =
            std::find(Order.begin(), Order.begin() + Renamed, Ext) != Order.begin() + Renamed;
        return ReadFileBytes((moved ? Base : Packed) + Ext);
    };
    return {at(".jhr"), at(".jdx"), at(".jdt"), ""};
}

TEST_P(PackerTmux, BetweenItsRenamesTheOpenBaseStaysAndNothingIsWritten) {
    const auto& [order, lock] = GetParam();
    WriteBases(Base, Packed);
    const BaseFiles packed = PackerFiles(Base, Packed, order, 0);
    StartOnBase();
    const std::vector<std::string> oldRows = RowsOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    WaitRows(oldRows);
    std::unique_ptr<TLockHolder> holder;
    if (lock) {
        holder = std::make_unique<TLockHolder>(Base + ".jhr");
        ASSERT_TRUE(holder->Held());
    }
    const std::string refusal = lock ? "Msg.No: 5 could not be deleted!"
                                     : "The base was replaced on disk: nothing was deleted.";
    for (int renamed = 1; renamed <= 2; ++renamed) {
        SCOPED_TRACE(std::to_string(renamed) + " renamed, the last " + order[renamed - 1]);
        const std::string& ext = order[std::size_t(renamed - 1)];
        ASSERT_EQ(::rename((Packed + ext).c_str(), (Base + ext).c_str()), 0);
        Tm->Type("<"); // a page fill: the names hold no base to take
        WaitRows(oldRows);
        ExpectViewOf(4, 5);
        ExpectViewOf(5, 6);
        ExpectDeleteRefused(4, refusal);
        WaitRows(oldRows);
        EXPECT_EQ(PackerFiles(Base, Packed, order, renamed), packed);
        // Each later step waits for a screen that a failed one never leaves.
        if (HasFailure()) return;
    }
    ASSERT_EQ(::rename((Packed + order[2]).c_str(), (Base + order[2]).c_str()), 0);
    if (holder) holder->Release(); // the packer is done
    EXPECT_EQ(PackerFiles(Base, Packed, order, 3), packed);
    Tm->Type("<");
    WaitRows(RowsOf({1, 2, 4, 5, 6, 7, 8, 9, 10}));
    ExpectViewOf(3, 5);
    ExpectViewOf(8, 10);
    QuitAndExpectCleanEnd();
}

const TOrder Orders[] = {
    {".jhr", ".jdx", ".jdt"}, {".jhr", ".jdt", ".jdx"}, {".jdx", ".jhr", ".jdt"},
    {".jdx", ".jdt", ".jhr"}, {".jdt", ".jhr", ".jdx"}, {".jdt", ".jdx", ".jhr"},
};

INSTANTIATE_TEST_SUITE_P(EveryOrder, PackerTmux,
                         ::testing::Combine(::testing::ValuesIn(Orders), ::testing::Bool()),
                         [](const auto& Info) {
                             std::string name;
                             for (const std::string& ext : std::get<0>(Info.param))
                                 name += ext.substr(2);
                             return name + (std::get<1>(Info.param) ? "Locked" : "Unlocked");
                         });

} // namespace

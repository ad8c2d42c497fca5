// The file choosers on a real pseudo-terminal over a temporary directory tree:
// what the panes and lines show while the chooser waits for a key, the path it
// returns for the keys typed, and the current directory, screen and cursor it
// leaves behind on every way out.
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"
#include "tests/common/BoxFixture.h"
#include "ui/Dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Cwd() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : std::string();
}

// The tree every test starts from, under Root:
//   ex/    a.txt B.txt README docs/guide.txt
//   dots/  .profile .x.txt plain.txt noext .cache/
class FileDialogTest : public BoxFixture {
protected:
    void SetUp() override {
        BoxFixture::SetUp();
        InitDialogs();
        home = saved = Cwd();
        char templ[] = "/tmp/kv-choose-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        Root = std::filesystem::canonical(templ).string();
        for (const char* d : {"ex", "ex/docs", "dots", "dots/.cache"})
            std::filesystem::create_directory(Root + "/" + d);
        for (const char* f : {"ex/a.txt", "ex/B.txt", "ex/README", "ex/docs/guide.txt",
                              "dots/.profile", "dots/.x.txt", "dots/plain.txt", "dots/noext"})
            Put(f);
    }
    void TearDown() override {
        BoxFixture::TearDown();
        if (::chdir(home.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << home;
        if (!Root.empty()) std::filesystem::remove_all(Root);
    }

    void Put(const std::string& Name) const { std::ofstream(Root + "/" + Name) << "x"; }

    // Rows 10-18 of a pane whose rows start in column X: one name per row
    // after a blank, the row Lit in $3F (0: none), the others and the rows
    // past the names blank in 7.
    static void ExpectPane(int X, const std::vector<std::string>& Names, std::size_t Lit) {
        for (std::size_t i = 0; i < 9; ++i) {
            const std::string text = i < Names.size() ? " " + Names[i] : "";
            ExpectRun(X, static_cast<int>(10 + i), PadRight(text, 31), i + 1 == Lit ? 0x3F : 0x07);
        }
    }
    static void ExpectFiles(const std::vector<std::string>& Names, std::size_t Lit = 1) {
        ExpectPane(8, Names, Lit);
    }
    static void ExpectDirs(const std::vector<std::string>& Names, std::size_t Lit = 0) {
        ExpectPane(41, Names, Lit);
    }
    static void ExpectCounts(const std::string& Files, const std::string& Dirs) {
        ExpectRun(14, 9, Files, 0x70);
        ExpectRun(53, 9, Dirs, 0x70);
    }
    static void ExpectLines(const std::string& Dir, const std::string& Second) {
        ExpectRun(8, 7, PadRight(Dir, 60), 0x3F);
        ExpectRun(8, 21, PadRight(Second, 60), 0x3F);
    }
    static std::string PadRight(const std::string& S, std::size_t Width) {
        return S.size() >= Width ? S.substr(0, Width) : S + std::string(Width - S.size(), ' ');
    }
    // Everything after a call: the directory, the screen, the cursor and
    // the attribute are those from before it.
    void ExpectAllBack() {
        EXPECT_EQ(Cwd(), saved);
        ExpectPatternBack();
    }

    std::string Root;
    std::string saved; // the current directory every call must leave behind
    std::string home;  // the test program's own
};

TEST_F(FileDialogTest, ListsFilesAndDirectoriesSortedByByte) {
    OnIdle({[&] {
               ExpectRun(37, 5, " Open ", 0x7F);
               ExpectRun(8, 6, "Directory", 0x70);
               ExpectRun(8, 9, "Files", 0x70);
               ExpectRun(41, 9, "Directories", 0x70);
               ExpectRun(8, 20, "File Mask", 0x70);
               ExpectLines(Root + "/ex/", "*.*");
               ExpectFiles({"B.txt", "a.txt"}); // README has no dot
               ExpectDirs({"..", "docs"});
               ExpectCounts("(2)    ", "(2)    ");
               return "\x1b";
           }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + "/ex/"), "");
    ExpectAllBack();
}

TEST_F(FileDialogTest, NamesBeginningWithADotAreListed) {
    OnIdle({[&] {
               ExpectFiles({".profile", ".x.txt", "plain.txt"});
               ExpectDirs({"..", ".cache"});
               ExpectCounts("(3)    ", "(2)    ");
               return "\x1b";
           }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + "/dots"), "");
    ExpectAllBack();
}

TEST_F(FileDialogTest, OpenReturnsThePathChosen) {
    const struct {
        const char* keys;
        const char* want; // below Root; "" for none
    } cases[] = {
        {"\r", "/ex/B.txt"},
        {"\x1b[B\r", "/ex/a.txt"},
        {"\x1b[B\x1b[B\r", "/ex/a.txt"},              // two files only
        {"\t\x1b[B\r\x1b[D\r", "/ex/docs/guide.txt"}, // into docs, back to the files
        {"\x1b[C\x1b[D\r", "/ex/B.txt"},              // Right and Left move the focus
        {"\t\t\t\t\r", "/ex/B.txt"},                  // Tab goes round the four places
        {"\x1b", ""},                                 // Esc in each place
        {"\t\x1b", ""},
        {"\t\t\x1b", ""},
        {"\t\t\t\x1b", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        InitDialogs();
        TypeAndWait(c.keys);
        const std::string want = *c.want ? Root + c.want : "";
        EXPECT_EQ(OpenFileDialog(" Open ", Root + "/ex/"), want);
        ExpectAllBack();
    }
}

TEST_F(FileDialogTest, FocusMovesTheHighlight) {
    OnIdle({[&] {
                ExpectFiles({"B.txt", "a.txt"}, 1);
                ExpectDirs({"..", "docs"}, 0);
                return "\t";
            },
            [&] {
                ExpectFiles({"B.txt", "a.txt"}, 0);
                ExpectDirs({"..", "docs"}, 1);
                return "\x1b[B\r"; // into docs: the focus stays
            },
            [&] {
                ExpectLines(Root + "/ex/docs/", "*.*");
                ExpectFiles({"guide.txt"}, 0);
                ExpectDirs({".."}, 1);
                ExpectCounts("(1)    ", "(1)    ");
                return "\r"; // ".." goes back up
            },
            [&] {
                ExpectLines(Root + "/ex/", "*.*");
                ExpectDirs({"..", "docs"}, 1);
                return "\t";
            },
            [&] {
                ExpectDirs({"..", "docs"}, 0);
                return "\x1b";
            }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + "/ex/"), "");
    ExpectAllBack();
}

// Entering a directory lists it from the top of both panes, wherever their
// selections stood in the directory before.
TEST_F(FileDialogTest, EnteringADirectoryPutsBothSelectionsOnTheFirstEntry) {
    for (const char* d : {"sel", "sel/d1", "sel/d2", "sel/d2/e1", "sel/d2/e2"})
        std::filesystem::create_directory(Root + "/" + d);
    for (const char* f :
         {"sel/f1.txt", "sel/f2.txt", "sel/d2/g1.txt", "sel/d2/g2.txt", "sel/d2/g3.txt"})
        Put(f);
    OnIdle({[&] {
                ExpectFiles({"f1.txt", "f2.txt"}, 1);
                return "\x1b[B\t"; // the second file, then the directory pane
            },
            [&] {
                ExpectFiles({"f1.txt", "f2.txt"}, 0);
                ExpectDirs({"..", "d1", "d2"}, 1);
                return "\x1b[B\x1b[B\r"; // into d2, the third entry
            },
            [&] {
                ExpectLines(Root + "/sel/d2/", "*.*");
                ExpectDirs({"..", "e1", "e2"}, 1);
                return "\x1b[D"; // back to the file pane
            },
            [&] {
                ExpectFiles({"g1.txt", "g2.txt", "g3.txt"}, 1);
                return "\r";
            }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + "/sel/"), Root + "/sel/d2/g1.txt");
    ExpectAllBack();
}

// Counts take thousands commas; 1,234 fills the 7 columns exactly.
TEST_F(FileDialogTest, CountsOfAThousandAndMoreTakeCommas) {
    std::filesystem::create_directory(Root + "/many");
    char name[32];
    for (int i = 0; i < 1234; ++i) {
        std::snprintf(name, sizeof name, "many/f%04d.txt", i);
        Put(name);
    }
    for (int i = 0; i < 1000; ++i) {
        std::snprintf(name, sizeof name, "many/d%03d", i);
        std::filesystem::create_directory(Root + "/" + name);
    }
    OnIdle({[&] {
               ExpectCounts("(1,234)", "(1,001)"); // ".." too
               return "\x1b";
           }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + "/many/"), "");
    ExpectAllBack();
}

TEST_F(FileDialogTest, SaveAsksBeforeOverwriting) {
    const struct {
        const char* defName;
        const char* keys;
        const char* want; // below Root; "" for none
    } cases[] = {
        {"new.txt", "\ry", "/ex/B.txt"},
        {"new.txt", "\r\r", "/ex/B.txt"},         // YES is preselected
        {"new.txt", "\rn\x1b", ""},               // NO keeps the chooser open
        {"new.txt", "\rn\x1b[B\ry", "/ex/a.txt"}, //
        {"new.txt", "\t\t\r", "/ex/new.txt"},     // a new name asks nothing
        {"a.txt", "\t\t\ry", "/ex/a.txt"},        //
        {"a.txt", "\t\t\rn\x1b", ""},             // NO: the name line stays focused
        {"", "\t\t\r\x1b", ""},                   // an empty name does nothing
        {"", "\t\tout.txt\r", "/ex/out.txt"},     //
        {"docs", "\t\t\r", "/ex/docs"},           // not a file: nothing to overwrite
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.defName) + " " + Hex(c.keys));
        InitDialogs();
        TypeAndWait(c.keys);
        const std::string want = *c.want ? Root + c.want : "";
        EXPECT_EQ(SaveFileDialog(" Save ", c.defName, Root + "/ex/"), want);
        ExpectAllBack();
    }
}

// A symbolic link at the chosen name, dangling or not, is never written
// through: another user who may write the directory could have pointed it at
// any file. A box says it is a link (no overwrite question), and the chooser
// goes on where it was: the file pane, or the name line being edited.
TEST_F(FileDialogTest, SaveRefusesASymbolicLinkAndStaysOpen) {
    std::filesystem::create_directory(Root + "/links");
    std::filesystem::create_symlink(Root + "/target.txt", Root + "/links/dangle.txt");
    std::filesystem::create_symlink(Root + "/ex/a.txt", Root + "/links/good.txt");
    Put("links/plain.txt");
    OnIdle({[&] { return "\r"; }, // the file pane: dangle.txt comes first
            [&] {
                ExpectRun(15, 12, "dangle.txt is a symbolic link. Choose another name.", 0x7F);
                return "\r";
            },
            [&] {
                ExpectFiles({"dangle.txt", "good.txt", "plain.txt"}, 1);
                return "\t\t\x19good.txt\r"; // typed
            },
            [&] {
                ExpectRun(16, 12, "good.txt is a symbolic link. Choose another name.", 0x7F);
                return "\r";
            },
            [&] {
                ExpectRun(8, 21, "good.txt", 0x3F); // the name line is edited again
                return "\x19plain.txt\r";
            },
            [&] {
                ExpectRun(29, 12, "File Exists. Overwrite?", 0x7F); // a plain file is asked for
                return "y";
            }},
           "\x1b");
    EXPECT_EQ(SaveFileDialog(" Save ", "x.txt", Root + "/links/"), Root + "/links/plain.txt");
    ExpectStepsDone();
    ExpectAllBack();
}

// The link box names the file when the text fits the message box.
TEST(FileDialogText, SymlinkTextNamesTheFileWhereItFits) {
    const std::string fits(35, 'n');
    EXPECT_EQ(SymlinkText("/d/" + fits), fits + " is a symbolic link. Choose another name.");
    EXPECT_EQ(SymlinkText("/d/" + fits).size(), 76u);
    EXPECT_EQ(SymlinkText("/d/" + fits + "n"),
              "This name is a symbolic link. Choose another name.");
}

// A name typed with a leading "/" is that very path, not one below the
// directory shown; a relative one stays below it.
TEST_F(FileDialogTest, SaveTypedAbsoluteNameIsThatPath) {
    const struct {
        std::string typed;
        std::string keys; // after the name
        std::string want;
    } cases[] = {
        {Root + "/dots/plain.txt", "y", Root + "/dots/plain.txt"}, // there: asked for
        {Root + "/dots/new.txt", "", Root + "/dots/new.txt"},
        {"docs/new.txt", "", Root + "/ex/docs/new.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        InitDialogs();
        TypeAndWait("\t\t\x19" + c.typed + "\r" + c.keys);
        EXPECT_EQ(SaveFileDialog(" Save ", "x.txt", Root + "/ex/"), c.want);
        ExpectAllBack();
    }
}

TEST_F(FileDialogTest, SaveShowsTheQuestionOverTheChooser) {
    OnIdle({[&] {
                ExpectRun(8, 20, "File Name", 0x70);
                ExpectLines(Root + "/ex/", "new.txt");
                return "\r";
            },
            [&] {
                ExpectRun(29, 12, "File Exists. Overwrite?", 0x7F); // 23 characters: X = 27
                return "n";
            },
            [&] {
                ExpectFiles({"B.txt", "a.txt"}, 1); // the question's box is gone
                ExpectRun(29, 12, " ", 0x07);
                return "\x1b";
            }},
           "\x1b");
    EXPECT_EQ(SaveFileDialog(" Save ", "new.txt", Root + "/ex/"), "");
    ExpectAllBack();
}

// The caller's veto: shown in a message box before any question, after which
// the chooser goes on where it was (the pane, or the name line being edited).
TEST_F(FileDialogTest, SaveRefusedPathKeepsTheChooserOpen) {
    std::vector<std::string> offered;
    const TSaveRefusal refuse = [&](const std::string& Path) {
        offered.push_back(Path);
        return Path == Root + "/ex/B.txt" ? std::string("Not this one.") : std::string();
    };
    OnIdle({[&] { return "\r"; },
            [&] {
                ExpectRun(34, 12, "Not this one.", 0x7F); // 13 characters: X = 32
                return "\r";
            },
            [&] {
                ExpectFiles({"B.txt", "a.txt"}, 1);
                return "\t\t\x19"
                       "B.txt\r"; // typed: refused all the same
            },
            [&] {
                ExpectRun(34, 12, "Not this one.", 0x7F);
                return "\r";
            },
            [&] {
                ExpectRun(8, 21, "B.txt", 0x3F); // the name line is edited again
                return "\x19new.txt\r";
            }},
           "\x1b");
    EXPECT_EQ(SaveFileDialog(" Save ", "x.txt", Root + "/ex/", refuse), Root + "/ex/new.txt");
    EXPECT_EQ(offered, (std::vector<std::string>{Root + "/ex/B.txt", Root + "/ex/B.txt",
                                                 Root + "/ex/new.txt"}));
    ExpectAllBack();
}

TEST_F(FileDialogTest, MaskLineRelistsTheFiles) {
    const struct {
        const char* mask;
        std::vector<std::string> files;
        const char* count;
    } cases[] = {
        {"*", {"B.txt", "README", "a.txt"}, "(3)    "},
        {"?.txt", {"B.txt", "a.txt"}, "(2)    "},
        {"*.TXT", {}, "(0)    "}, // case-sensitive
        {"README", {"README"}, "(1)    "},
        {"", {}, "(0)    "},
        {"docs/*", {"guide.txt"}, "(1)    "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        InitDialogs();
        TypeAndWait(std::string("\t\t\x7f\x7f\x7f") + c.mask + "\r");
        OnIdle({[&] {
                   ExpectRun(8, 7, PadRight(Root + "/ex/", 60), 0x3F);
                   ExpectRun(8, 21, c.mask, 0x3F); // being edited: the fill follows
                   ExpectFiles(c.files, 0);
                   ExpectCounts(c.count, "(2)    ");
                   // Enter on the first file, or Esc when there is none.
                   return c.files.empty() ? "\x1b" : "\t\t\r";
               }},
               "\x1b");
        std::string want;
        if (!c.files.empty())
            want = Root + "/ex/" + (c.mask == std::string("docs/*") ? "docs/" : "") + c.files[0];
        EXPECT_EQ(OpenFileDialog(" Open ", Root + "/ex/"), want);
        ExpectAllBack();
    }
}

TEST_F(FileDialogTest, DirectoryLineTakesATypedDirectory) {
    const struct {
        std::string typed;
        std::string shown; // below Root
        std::vector<std::string> files;
    } cases[] = {
        {Root + "/dots", "/dots/", {".profile", ".x.txt", "plain.txt"}},
        {Root + "//dots//", "//dots/", {".profile", ".x.txt", "plain.txt"}},
        {"docs", "/ex/docs/", {"guide.txt"}}, // relative: from the directory shown
        {"../dots", "/dots/", {".profile", ".x.txt", "plain.txt"}},
        {"missing", "/ex/", {"B.txt", "a.txt"}}, // cannot be entered: nothing changes
        {"", "/ex/", {"B.txt", "a.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        InitDialogs();
        const std::string start = Root + "/ex/";
        TypeAndWait("\t\t\t" + std::string(start.size(), '\x7f') + c.typed + "\r");
        OnIdle({[&] {
                   ExpectRun(8, 7, Root + c.shown, 0x3F); // being edited again
                   ExpectRun(8, 21, PadRight("*.*", 60), 0x3F);
                   ExpectFiles(c.files, 0);
                   return "\t\r"; // the first file
               }},
               "\x1b");
        EXPECT_EQ(OpenFileDialog(" Open ", start), Root + c.shown + c.files[0]);
        ExpectAllBack();
    }
}

TEST_F(FileDialogTest, RootAndItsParent) {
    std::string second; // the root's first directory after ".."
    OnIdle({[&] {
                ExpectLines("/", "*.*");
                EXPECT_EQ(Text(41, 10, 4), " .. ");
                return "\t\r"; // ".." of the root is the root
            },
            [&] {
                ExpectRun(8, 7, PadRight("/", 60), 0x3F);
                EXPECT_EQ(Text(41, 10, 4), " .. ");
                EXPECT_EQ(Cwd(), "/");
                second = Text(42, 11, 30);
                second.erase(second.find_last_not_of(' ') + 1);
                return "\x1b[B\r"; // into it: the root was current
            },
            [&] {
                // The directory the system reports, whatever links led there.
                EXPECT_TRUE(std::filesystem::equivalent(Cwd(), "/" + second)) << second;
                ExpectRun(8, 7, PadRight(Cwd() + "/", 60), 0x3F);
                return "\x1b";
            }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", "/"), "");
    ExpectAllBack();
}

TEST_F(FileDialogTest, StartDirectoryThatCannotBeEntered) {
    for (const std::string& start : {Root + "/missing/", Root + "/ex/a.txt"}) {
        SCOPED_TRACE(start);
        InitDialogs();
        OnIdle({[&] {
                    ExpectRun(8, 7, std::string(60, ' '), 0x7F); // never drawn
                    ExpectRun(8, 21, std::string(40, ' '), 0x3F);
                    ExpectRun(48, 21, std::string(20, ' '), 0x7F);
                    ExpectRun(14, 9, std::string(7, ' '), 0x7F);
                    ExpectFiles({}, 1); // the focused pane's bar, on no item
                    ExpectDirs({});
                    // The user types a directory that works.
                    return "\t\t\t" + std::string(start.size() + 1, '\x7f') + Root + "/ex\r";
                },
                [&] {
                    ExpectFiles({"B.txt", "a.txt"}, 0);
                    ExpectCounts("(2)    ", "(2)    ");
                    return "\t\r";
                }},
               "\x1b");
        EXPECT_EQ(OpenFileDialog(" Open ", start), Root + "/ex/B.txt");
        ExpectAllBack();
    }
}

TEST_F(FileDialogTest, DirectoryRemovedWhileShown) {
    const struct {
        bool saving;
        const char* keys;
        const char* want; // below Root; "" for Esc typed after the keys
    } cases[] = {
        {false, "\t\t\r", ""},           // listing again finds nothing
        {false, "\t\r", ""},             // "..": the parent, or nothing where it is gone too
        {false, "\r", "/gone/g.txt"},    // the name shown is taken as it is
        {true, "\r", "/gone/g.txt"},     // no longer exists: nothing to ask
        {true, "\t\t\r", "/gone/n.txt"}, // the name typed, as for any new file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        InitDialogs();
        std::filesystem::create_directory(Root + "/gone");
        Put("gone/g.txt");
        std::vector<Step> steps = {[&] {
            ExpectFiles({"g.txt"});
            std::filesystem::remove_all(Root + "/gone");
            return std::string(c.keys);
        }};
        if (*c.want == 0)
            steps.push_back([&] {
                if (c.keys == std::string("\t\t\r")) {
                    ExpectFiles({}, 0);
                    ExpectDirs({});
                }
                return "\x1b";
            });
        OnIdle(steps, "\x1b");
        const std::string got = c.saving ? SaveFileDialog(" Save ", "n.txt", Root + "/gone/")
                                         : OpenFileDialog(" Open ", Root + "/gone/");
        EXPECT_EQ(got, *c.want ? Root + c.want : "");
        ExpectAllBack();
    }
}

TEST_F(FileDialogTest, HugeDirectoryListsItsFirstTenThousand) {
    std::filesystem::create_directory(Root + "/many");
    char name[32];
    for (int i = 10004; i >= 0; --i) {
        std::snprintf(name, sizeof name, "many/f%05d.txt", i);
        Put(name);
    }
    OnIdle({[&] {
                // Without its commas: "(10,000)" would not fit the 7 columns.
                ExpectCounts("(10000)", "(1)    ");
                ExpectFiles({"f00000.txt", "f00001.txt", "f00002.txt", "f00003.txt", "f00004.txt",
                             "f00005.txt", "f00006.txt", "f00007.txt", "f00008.txt"});
                return "\x1b[F"; // End
            },
            [&] {
                ExpectRun(8, 18, PadRight(" f09999.txt", 31), 0x3F);
                return "\t\r"; // up to Root, a small directory
            },
            [&] {
                // Nothing of the wide count is left behind.
                EXPECT_EQ(Text(8, 9, 15), "Files (0)      ");
                EXPECT_EQ(Text(41, 9, 20), "Directories (4)     ");
                ExpectCounts("(0)    ", "(4)    ");
                return "\x1b[B\x1b[B\x1b[B\r"; // back into many
            },
            [&] {
                ExpectCounts("(10000)", "(1)    ");
                return "\x1b[D\x1b[F\r"; // the file pane, End, Enter
            }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + "/many/"), Root + "/many/f09999.txt");
    ExpectAllBack();
}

TEST_F(FileDialogTest, NameBytesKeepTheirColumns) {
    // BS, CR and LF in a directory's or a file's name are cells like any
    // other control byte: on the shadow and on the terminal.
    const std::string odd = "/o\bd\rd\n";
    std::filesystem::create_directory(Root + odd);
    Put(odd + "/caf\x82.txt");
    Put(odd + "/cr\rzz.txt");
    Put(odd + "/x\x01y.txt");
    drain.reset();
    ReadOutput();
    OnIdle({[&] {
               ExpectLines(Root + "/o.d.d./", "*.*");
               ExpectRun(8, 10, PadRight(" caf\x82.txt", 31), 0x3F);
               ExpectRun(8, 11, PadRight(" cr.zz.txt", 31), 0x07);
               ExpectRun(9, 12, "x", 0x07);
               ExpectRun(11, 12, "y.txt" + std::string(22, ' '), 0x07);
               const std::string got = ReadOutput();
               EXPECT_NE(got.find("\x1b[7;8H"), std::string::npos) << Hex(got);
               EXPECT_NE(got.find(Root + "/o.d.d./"), std::string::npos) << Hex(got);
               EXPECT_NE(got.find(" cr.zz.txt"), std::string::npos) << Hex(got);
               for (char move : {'\b', '\r', '\n'})
                   EXPECT_EQ(got.find(move), std::string::npos) << Hex(got);
               return "\x1b[B\r";
           }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + odd + "/"), Root + odd + "/cr\rzz.txt");
    ReadOutput();
    ExpectAllBack();
}

TEST_F(FileDialogTest, RelativeStartDirectoryNamesTheSameFileFromTheCaller) {
    ASSERT_EQ(::chdir(Root.c_str()), 0);
    saved = Root;
    for (const std::string start : {"ex", "./ex/", "ex//", "ex/docs/.."}) {
        SCOPED_TRACE(start);
        InitDialogs();
        OnIdle({[&] {
                   ExpectLines(Root + "/ex/", "*.*");
                   ExpectFiles({"B.txt", "a.txt"});
                   return "\r";
               }},
               "\x1b");
        EXPECT_EQ(OpenFileDialog(" Open ", start), Root + "/ex/B.txt");
        ExpectAllBack();
    }
}

TEST_F(FileDialogTest, LeftByAnExceptionPutsEverythingBack) {
    struct PulledOut {};
    const struct {
        const char* keys; // typed first; the next wait throws
        bool saving;
    } cases[] = {
        {"\t\x1b[B\r", false}, // inside docs, in the directory pane
        {"\t\t\t", false},     // in the directory line
        {"\r", true},          // under the overwrite question
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        InitDialogs();
        OnIdle({[&] { return std::string(c.keys); },
                [&]() -> std::string {
                    if (c.keys == std::string("\t\x1b[B\r")) {
                        EXPECT_EQ(Cwd(), Root + "/ex/docs");
                    }
                    throw PulledOut{};
                }},
               "\x1b");
        EXPECT_THROW(c.saving ? SaveFileDialog(" Save ", "n.txt", Root + "/ex/")
                              : OpenFileDialog(" Open ", Root + "/ex/"),
                     PulledOut);
        ExpectAllBack();
    }
}

TEST_F(FileDialogTest, LongDirectoryIsShownCut) {
    const std::string deep = Root + "/" + std::string(70, 'd');
    std::filesystem::create_directory(deep);
    Put(std::string(70, 'd') + "/f.txt");
    OnIdle({[&] {
                ExpectRun(8, 7, deep.substr(0, 60), 0x3F);
                return "\t\t\t\r"; // Enter on the path as the field cut it
            },
            [&] {
                ExpectRun(8, 7, deep.substr(20, 60), 0x3F); // the field shows its end
                ExpectFiles({"f.txt"}, 0);                  // nothing changed
                return "\t\r";
            }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", deep + "/"), deep + "/f.txt");
    ExpectAllBack();
}

// Deeper than 255 bytes the directory shown is still the whole path: entering
// a subdirectory from the pane lists that subdirectory, and a save there names
// it in full. (The line shows the first 60 characters, as for any path.)
TEST_F(FileDialogTest, DirectoryDeeperThan255BytesIsKeptWhole) {
    std::string deep = Root;
    while (deep.size() <= 300) deep += "/" + std::string(50, 'd');
    std::filesystem::create_directories(deep + "/sub");
    std::ofstream(deep + "/sub/f.txt") << "x";
    OnIdle({[&] {
                ExpectDirs({"..", "sub"}, 0);
                return "\t\x1b[B\r"; // into sub
            },
            [&] {
                ExpectLines((deep + "/sub/").substr(0, 60), "new.txt");
                ExpectFiles({"f.txt"}, 0);
                ExpectDirs({".."}, 1);
                EXPECT_EQ(Cwd(), deep + "/sub");
                return "\t\r"; // the name line: new.txt
            }},
           "\x1b");
    EXPECT_EQ(SaveFileDialog(" Save ", "new.txt", deep + "/"), deep + "/sub/new.txt");
    ExpectAllBack();
}

// The text lines set three field settings for the rest of the run; the panes
// alone leave them as they were.
TEST_F(FileDialogTest, TextLinesLeaveTheFieldSettingsSet) {
    const struct {
        const char* keys;
        bool changed;
    } cases[] = {{"\x1b", false}, {"\t\x1b", false}, {"\t\t\x1b", true}, {"\t\t\t\x1b", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        InitDialogs();
        TypeAndWait(c.keys);
        OpenFileDialog(" Open ", Root + "/ex/");
        EXPECT_EQ(InputExit, c.changed ? MyString("\t\r\x1b") : MyString("\r"));
        EXPECT_EQ(InputAttr, c.changed ? 0x3F : 0x1F);
        EXPECT_EQ(InputFillAttr, c.changed ? 15 : 0x17);
        ExpectAllBack();
    }
}

// Only Enter takes a text line's typed text over: Tab moves on with the line
// showing its old value again, Esc ends the chooser with nothing chosen.
TEST_F(FileDialogTest, TabAndEscDropTheTypedTextOfALine) {
    const struct {
        const char* name;
        bool saving;
        std::string keys; // the last key leaves a line, the chooser then waits
        int row;          // the line left: 21 the second line, 7 the directory line
        std::string more; // typed at that wait
        const char* want; // below Root; "" for none
    } cases[] = {
        {"mask line, Tab", false, "\t\tzz\t", 21, "\t\r", "/ex/B.txt"},
        {"name line, Tab", true, "\t\tzz\t", 21, "\t\t\t\r", "/ex/new.txt"},
        {"directory line, Tab", false, "\t\t\tzz\t", 7, "\r", "/ex/B.txt"},
        {"name line, Esc", true, "", 0, "\t\tzz\x1b", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InitDialogs();
        std::vector<Step> steps;
        if (!c.keys.empty()) steps.push_back([&] { return c.keys; });
        steps.push_back([&] {
            if (c.row == 21) ExpectRun(8, 21, PadRight(c.saving ? "new.txt" : "*.*", 60), 0x3F);
            if (c.row == 7) ExpectRun(8, 7, PadRight(Root + "/ex/", 60), 0x3F);
            if (c.row != 0) ExpectFiles({"B.txt", "a.txt"}, c.row == 7 ? 1 : 0);
            return c.more;
        });
        OnIdle(steps, "\x1b");
        const std::string got = c.saving ? SaveFileDialog(" Save ", "new.txt", Root + "/ex/")
                                         : OpenFileDialog(" Open ", Root + "/ex/");
        EXPECT_EQ(got, *c.want ? Root + c.want : "");
        ExpectAllBack();
    }
}

// Enter on a directory that can no longer be entered empties both panes and
// leaves the lines and the counts as they were.
TEST_F(FileDialogTest, DirectoryThatCannotBeEnteredEmptiesThePanesOnly) {
    OnIdle({[&] { return "\t"; },
            [&] {
                ExpectDirs({"..", "docs"}, 1);
                std::filesystem::remove_all(Root + "/ex/docs");
                return "\x1b[B\r"; // Enter on docs, gone meanwhile
            },
            [&] {
                ExpectLines(Root + "/ex/", "*.*");
                ExpectCounts("(2)    ", "(2)    ");
                ExpectFiles({}, 0);
                ExpectDirs({}, 1); // the focused pane's bar, on no item
                EXPECT_EQ(Cwd(), Root + "/ex");
                return "\x1b";
            }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + "/ex/"), "");
    ExpectAllBack();
}

// A directory that can be entered but not listed is entered all the same:
// the directory line shows it, both panes are empty and both counts (0).
// Modes refuse nothing to root, so as root the check runs with file access
// as the unprivileged user 65534 for this thread (setfsuid), or is skipped
// where that is not possible.
TEST_F(FileDialogTest, DirectoryThatCannotBeListedShowsEmptyPanes) {
    const std::string locked = Root + "/ex/locked";
    std::filesystem::create_directory(locked);
    for (const std::string& d : {Root, Root + "/ex"}) ASSERT_EQ(::chmod(d.c_str(), 0755), 0);
    ASSERT_EQ(::chdir(Root.c_str()), 0); // a directory user 65534 can come back to
    saved = Root;
    // Locks the directory, and as root takes file access to user 65534; both
    // are undone on every way out, so the tree can be removed.
    struct Locked {
        const std::string& dir;
        explicit Locked(const std::string& Dir) : dir(Dir) {
            ::chmod(dir.c_str(), 0111);
            if (::geteuid() == 0) ::setfsuid(65534);
        }
        ~Locked() {
            if (::geteuid() == 0) ::setfsuid(0);
            ::chmod(dir.c_str(), 0755);
        }
    } lock(locked);
    DIR* probe = ::opendir(locked.c_str());
    if (probe != nullptr) {
        ::closedir(probe);
        GTEST_SKIP() << "file modes refuse nothing here, and file access as another user is "
                        "not possible";
    }
    OnIdle({[&] { return "\t\x1b[B\x1b[B\r"; }, // the directory pane: "..", "docs", "locked"
            [&] {
                ExpectLines(locked + "/", "*.*");
                ExpectCounts("(0)    ", "(0)    ");
                ExpectFiles({}, 0);
                ExpectDirs({}, 1);
                return "\x1b";
            }},
           "\x1b");
    EXPECT_EQ(OpenFileDialog(" Open ", Root + "/ex/"), "");
    ExpectAllBack();
}

} // namespace

// The main program's rules that need no screen: how a path names the base.

#include "app/MainProgram.h"
#include "tests/common/TempDirFixture.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace {

// A name is the base as given when its ".jhr" file exists, dots and all;
// otherwise the extension goes, so any of a base's files names it.
TEST(SplitBasePath, TheNameAsGivenWhenItsHeaderFileExists) {
    TempDir dir;
    for (const char* f : {"my.echo.jhr", "my.echo.jdx", "plain.jhr"}) dir.Put(f, "");
    std::filesystem::create_directory(dir / "sub.d");
    std::filesystem::create_directory(dir / "e.x.jhr"); // a directory is no header file
    const std::string d = dir.Path() + "/";
    const struct {
        std::string Path, Dir, Name;
    } cases[] = {
        {d + "my.echo", d, "my.echo"},      {d + "my.echo.jhr", d, "my.echo"},
        {d + "my.echo.jdx", d, "my.echo"},  {d + "my.other", d, "my"},
        {d + "plain", d, "plain"},          {d + "plain.jlr", d, "plain"},
        {d + "sub.d/x", d + "sub.d/", "x"}, {d + "e.x", d, "e"},
        {"nowhere/a.b", "nowhere/", "a"},   {"a.b", "./", "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        SplitBasePath(c.Path);
        EXPECT_EQ(BaseDir, c.Dir);
        EXPECT_EQ(BaseName, c.Name);
    }
}

} // namespace

#pragma once
// Test files live in a fresh directory under /tmp that is removed with
// everything in it at the end. TempDir is that directory, as a member of any
// fixture or as a local; TempDirTest is the fixture for tests that need
// nothing else. Beside it, whole-file reads and writes for setting up files
// and checking what the code under test left on disk.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

class TempDir {
public:
    // Throws std::runtime_error when no directory can be made; gtest reports
    // that as a failure of the test whose fixture holds the TempDir.
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory's path, without a trailing "/".
    const std::string& Path() const { return FPath; }
    // Path() + "/" + Name.
    std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }
    // Writes Name in the directory with exactly these bytes; returns its path.
    std::string Put(const std::string& Name, const std::string& Bytes) const;

private:
    std::string FPath;
};

class TempDirTest : public ::testing::Test, public TempDir {};

std::string ReadFileBytes(const std::string& Name); // "" when missing
// Creates or truncates Name with exactly these bytes; throws when it cannot.
void WriteFileBytes(const std::string& Name, const std::string& Bytes);
bool PathExists(const std::string& Name); // links are not followed
// Overwrites Bytes at offset At of an existing file in place, through a
// descriptor of its own, as another program would.
void PatchFileBytes(const std::string& Name, int64_t At, const std::string& Bytes);

// While it lives, file access of this thread is checked as the unprivileged
// user 65534's when the test runs as root, whom file modes refuse nothing
// (setfsuid); as any other user it changes nothing. A test that needs a
// refusal checks that it really happens and skips where it does not.
class FileAccessAsOtherUser {
public:
    FileAccessAsOtherUser();
    ~FileAccessAsOtherUser();
    FileAccessAsOtherUser(const FileAccessAsOtherUser&) = delete;
    FileAccessAsOtherUser& operator=(const FileAccessAsOtherUser&) = delete;
};

// Runs Body in a child with a mount namespace of its own, so what it mounts
// is seen nowhere else and goes with it, and returns the text Body made of
// what it saw; nullopt where no such namespace can be made. A text that
// starts with "skip: " says why the test cannot be done here.
std::optional<std::string> WithOwnMounts(const std::function<std::string()>& Body);

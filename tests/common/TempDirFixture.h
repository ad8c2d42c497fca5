#pragma once
// A test whose files live in a fresh directory under /tmp, removed with
// everything in it afterwards. Path ends in "/".

#include <string>

#include <gtest/gtest.h>

class TempDirTest : public ::testing::Test {
protected:
    std::string Path;

    void SetUp() override;
    void TearDown() override;

    // Writes Name in the directory with exactly these bytes; returns its path.
    std::string Put(const std::string& Name, const std::string& Bytes) const;
    // The whole content of a file.
    static std::string Get(const std::string& Full);
};

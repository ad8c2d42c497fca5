#include "tests/common/TempDirFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

void TempDirTest::SetUp() {
    char tmpl[] = "/tmp/kv-test-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    Path = std::string(tmpl) + "/";
}

void TempDirTest::TearDown() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
}

std::string TempDirTest::Put(const std::string& Name, const std::string& Bytes) const {
    std::ofstream(Path + Name, std::ios::binary) << Bytes;
    return Path + Name;
}

std::string TempDirTest::Get(const std::string& Full) {
    std::ifstream in(Full, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

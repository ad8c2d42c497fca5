// The build links the target's own PCRE2 (not the host's): a cross build that
// picked up the host library fails to link or run here first.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <string>

#include <gtest/gtest.h>

namespace {

bool Matches(const char* pattern, const std::string& subject) {
    int err = 0;
    PCRE2_SIZE off = 0;
    pcre2_code* re = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0,
                                   &err, &off, nullptr);
    if (!re) return false;
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(re, nullptr);
    int rc = pcre2_match(re, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0, md,
                         nullptr);
    pcre2_match_data_free(md);
    pcre2_code_free(re);
    return rc >= 0;
}

} // namespace

TEST(Platform, RegularExpressionsLinkAndMatchBytes) {
    EXPECT_TRUE(Matches("\\d+:\\d+/\\d+", "from 2:5020/100"));
    EXPECT_FALSE(Matches("^abc$", "xabc"));
    // Bytes above 127 are plain bytes, never UTF-8.
    EXPECT_TRUE(Matches("\xC9\xCD+\xBB", "\xC9\xCD\xCD\xBB"));
}

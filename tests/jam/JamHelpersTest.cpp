// Name CRC and network address helpers.

#include "jam/JamBase.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// The published CRC-32 computed bit by bit, for comparison.
uint32_t BitwiseCrc32(const std::string& S) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : S) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

TEST(Crc, TableIsThePublishedOne) {
    EXPECT_EQ(Crc32Table[0], 0u);
    EXPECT_EQ(Crc32Table[1], 0x77073096u);
    EXPECT_EQ(Crc32Table[128], 0xEDB88320u);
    EXPECT_EQ(Crc32Table[255], 0x2D02EF8Du);
    // The published check values of the CRC-32 (from an all-ones register,
    // complemented at the end): "123456789" gives CBF43926, and the bytes 0
    // to 255 in order give 29058C73, which takes the table at many places.
    struct Case {
        std::string Bytes;
        uint32_t Want;
    };
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<char>(i);
    for (const Case& c : {Case{"123456789", 0xCBF43926u}, Case{all, 0x29058C73u}}) {
        uint32_t crc = 0xFFFFFFFFu;
        for (char b : c.Bytes) crc = UpdCrc32(static_cast<uint8_t>(b), crc);
        EXPECT_EQ(~crc, c.Want) << c.Bytes.size() << " bytes";
    }
}

TEST(Crc, NameCrcIsTheComplementOfTheLowerCasedCrc32) {
    EXPECT_EQ(StrCrc32(""), 0xFFFFFFFFu);
    EXPECT_EQ(StrCrc32("abc"), 0xCADBBE3Du);
    EXPECT_EQ(StrCrc32("ABC"), 0xCADBBE3Du);
    EXPECT_EQ(BitwiseCrc32("abc"), 0x352441C2u);
    for (std::string name : {"Sysop", "John Doe", "a-Z_09 []", "\x8e\x99\xff"}) {
        std::string lower = name;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        EXPECT_EQ(StrCrc32(name), ~BitwiseCrc32(lower)) << name;
    }
    // Only A-Z are folded: code page 437's capital and small umlaut differ.
    EXPECT_NE(StrCrc32("\x8e"), StrCrc32("\x84"));
}

TEST(Addr, AddrToStr) {
    struct Case {
        RecEchoMailAddr Addr;
        std::string Want;
    };
    for (const Case& c :
         {Case{{2, 5, 100, 0}, "2:5/100"}, Case{{2, 5, 100, 7}, "2:5/100.7"},
          Case{{0, 0, 0, 0}, "0:0/0"}, Case{{65535, 65535, 65535, 65535}, "65535:65535/65535.65"}})
        EXPECT_EQ(AddrToStr(c.Addr), c.Want);
}

TEST(Addr, StrToAddr) {
    struct Case {
        std::string Text;
        bool Ok;
        RecEchoMailAddr Want;
    };
    const RecEchoMailAddr untouched{9, 9, 9, 9};
    const Case cases[] = {
        {"2:5/100.7", true, {2, 5, 100, 7}},
        {"2:5/100.7@fidonet", true, {2, 5, 100, 7}},
        {"2:5/100", true, {2, 5, 100, 0}},
        {"2:5/100@fido.net", true, {2, 5, 100, 0}},
        {"2:5.1/100", true, {2, 0, 0, 0}},    // a "." before the "/" empties the node
        {"70000:1/2", true, {4464, 1, 2, 0}}, // low 16 bits
        {"x:y/z.w", true, {0, 0, 0, 0}},
        {"5/100", false, untouched},
        {"2/5:100", false, untouched},
        {"2:5", false, untouched},
        {"", false, untouched},
    };
    for (const Case& c : cases) {
        RecEchoMailAddr a = untouched;
        EXPECT_EQ(StrToAddr(c.Text, a), c.Ok) << c.Text;
        EXPECT_EQ(a, c.Want) << c.Text;
    }
}

TEST(Addr, AddrIsSetUnlessAllFourAreZero) {
    EXPECT_FALSE(AddrIsSet({0, 0, 0, 0}));
    EXPECT_TRUE(AddrIsSet({0, 0, 0, 1}));
    EXPECT_TRUE(AddrIsSet({1, 0, 0, 0}));
    EXPECT_TRUE(AddrIsSet({0, 0, 5, 0}));
}

} // namespace

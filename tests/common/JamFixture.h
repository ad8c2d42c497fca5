#pragma once
// Fixtures for the JAM tests: bases laid out byte by byte (never through
// TJamBase's writers, so a writer bug cannot hide a reader bug). The
// temporary directory and the whole-file helpers come with TempDirFixture.h.

#include "jam/JamBase.h"
#include "tests/common/TempDirFixture.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

// What standard output received (at descriptor level) while Fn ran.
std::string CaptureStdout(const std::function<void()>& Fn);

// Little-endian pieces.
std::string Le16(uint16_t V);
std::string Le32(uint32_t V);
int32_t GetLe32(const std::string& S, std::size_t At);

// A 1024-byte base header.
struct BaseHdrFields {
    std::string Signature = std::string("JAM\0", 4);
    int32_t DateCreated = 0x5F000000;
    int32_t ModCounter = 7;
    int32_t ActiveMsgs = 0;
    int32_t PasswordCRC = -1;
    int32_t BaseMsgNum = 1;
    uint8_t ReservedFill = 0; // byte put in every reserved position
};
std::string BaseHdrBytes(const BaseHdrFields& F);

// A 76-byte message header.
struct MsgHdrFields {
    std::string Signature = std::string("JAM\0", 4);
    uint16_t Revision = 1;
    uint16_t ReservedWord = 0;
    int32_t SubfieldLen = 0;
    int32_t TimesRead = 0;
    int32_t MSGIDcrc = 0;
    int32_t REPLYcrc = 0;
    int32_t ReplyTo = 0;
    int32_t Reply1st = 0;
    int32_t ReplyNext = 0;
    int32_t DateWritten = 0;
    int32_t DateReceived = 0;
    int32_t DateProcessed = 0;
    int32_t MessageNumber = 0;
    uint32_t Attribute = 0;
    int32_t Attribute2 = 0;
    int32_t TxtOffset = 0;
    int32_t TxtLen = 0;
    int32_t PasswordCRC = 0;
    int32_t Cost = 0;
};
std::string MsgHdrBytes(const MsgHdrFields& F);

// One subfield: head (DatLen defaults to the data's length) and data.
std::string SubBytes(uint16_t LoID, const std::string& Data, std::optional<int32_t> DatLen = {},
                     uint16_t HiID = 0);
std::string IdxBytes(int32_t UserCRC, int32_t HdrOffset);
std::string LastBytes(int32_t UserCRC, int32_t UserID, int32_t LastReadMsg, int32_t HighReadMsg);

// A base built in memory and written out as files. Add() appends a message:
// its text to the text bytes, its header and subfields to the header bytes, an
// index record; offsets and lengths are filled in unless the caller set them.
struct FixMsg {
    MsgHdrFields Hdr;
    std::string Subfields;            // bytes after the fixed header (SubBytes joined)
    std::string Text;                 // bytes appended to the text file
    bool AutoSubfieldLen = true;      // SubfieldLen := Subfields.size()
    bool AutoText = true;             // TxtOffset/TxtLen := where Text went
    std::optional<int32_t> HdrOffset; // index record's offset; default: where the header went
};

class JamFixture {
public:
    explicit JamFixture(BaseHdrFields Base = {});
    // Appends a message; returns its header's offset in the header file.
    int32_t Add(FixMsg M);
    // A message with subfields From, To, Subj and Text, counted as active.
    int32_t AddSimple(const std::string& From, const std::string& To, const std::string& Subj,
                      const std::string& Text, uint32_t Attribute = 0);
    // What a writer killed after the first Bytes bytes of a header left: those
    // bytes of H, and an index record pointing at them. Returns their offset.
    int32_t AddTorn(const MsgHdrFields& H, std::size_t Bytes);
    // Writes Base + ".jhr", ".jdx", ".jdt" (and ".jlr" when Lr is set).
    void Write(const std::string& Base) const;

    std::string Hdr, Idx, Txt;
    std::optional<std::string> Lr;
};

// The four files of a base, for comparing before and after.
struct BaseFiles {
    std::string Hdr, Idx, Txt, Lr;
    bool operator==(const BaseFiles&) const = default;
};
BaseFiles ReadBaseFiles(const std::string& Base);

// A test with a base path in a fresh directory and a TJamBase for it.
struct JamBaseTest : ::testing::Test {
    TempDir Dir;
    std::string Base = Dir / "base";
    TJamBase B;

    // Writes F's files at Base and opens B on them.
    bool WriteAndOpen(const JamFixture& F) {
        F.Write(Base);
        B.BasePath = Base;
        return B.Open();
    }
};

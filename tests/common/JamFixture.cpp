#include "tests/common/JamFixture.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <unistd.h>

std::string CaptureStdout(const std::function<void()>& Fn) {
    std::cout.flush();
    std::fflush(stdout);
    char tmpl[] = "/tmp/jamout-XXXXXX";
    int fd = ::mkstemp(tmpl);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    int saved = ::dup(STDOUT_FILENO);
    ::dup2(fd, STDOUT_FILENO);
    Fn();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(fd);
    std::string got = ReadFileBytes(tmpl);
    ::unlink(tmpl);
    return got;
}

std::string Le16(uint16_t V) {
    return {static_cast<char>(V & 0xFF), static_cast<char>(V >> 8)};
}

std::string Le32(uint32_t V) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((V >> (8 * i)) & 0xFF));
    return s;
}

int32_t GetLe32(const std::string& S, std::size_t At) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(S.at(At + i));
    return static_cast<int32_t>(v);
}

std::string BaseHdrBytes(const BaseHdrFields& F) {
    std::string s = F.Signature.substr(0, 4);
    s.resize(4, '\0');
    for (int32_t v : {F.DateCreated, F.ModCounter, F.ActiveMsgs, F.PasswordCRC, F.BaseMsgNum})
        s += Le32(static_cast<uint32_t>(v));
    s.append(1000, static_cast<char>(F.ReservedFill));
    return s;
}

std::string MsgHdrBytes(const MsgHdrFields& F) {
    std::string s = F.Signature.substr(0, 4);
    s.resize(4, '\0');
    s += Le16(F.Revision) + Le16(F.ReservedWord);
    for (int32_t v : {F.SubfieldLen, F.TimesRead, F.MSGIDcrc, F.REPLYcrc, F.ReplyTo, F.Reply1st,
                      F.ReplyNext, F.DateWritten, F.DateReceived, F.DateProcessed, F.MessageNumber})
        s += Le32(static_cast<uint32_t>(v));
    s += Le32(F.Attribute);
    for (int32_t v : {F.Attribute2, F.TxtOffset, F.TxtLen, F.PasswordCRC, F.Cost})
        s += Le32(static_cast<uint32_t>(v));
    return s;
}

std::string SubBytes(uint16_t LoID, const std::string& Data, std::optional<int32_t> DatLen,
                     uint16_t HiID) {
    return Le16(LoID) + Le16(HiID) +
           Le32(static_cast<uint32_t>(DatLen.value_or(static_cast<int32_t>(Data.size())))) + Data;
}

std::string IdxBytes(int32_t UserCRC, int32_t HdrOffset) {
    return Le32(static_cast<uint32_t>(UserCRC)) + Le32(static_cast<uint32_t>(HdrOffset));
}

std::string LastBytes(int32_t UserCRC, int32_t UserID, int32_t LastReadMsg, int32_t HighReadMsg) {
    std::string s;
    for (int32_t v : {UserCRC, UserID, LastReadMsg, HighReadMsg})
        s += Le32(static_cast<uint32_t>(v));
    return s;
}

JamFixture::JamFixture(BaseHdrFields Base) : Hdr(BaseHdrBytes(Base)) {}

int32_t JamFixture::Add(FixMsg M) {
    if (M.AutoSubfieldLen) M.Hdr.SubfieldLen = static_cast<int32_t>(M.Subfields.size());
    if (M.AutoText) {
        M.Hdr.TxtOffset = static_cast<int32_t>(Txt.size());
        M.Hdr.TxtLen = static_cast<int32_t>(M.Text.size());
    }
    Txt += M.Text;
    int32_t at = static_cast<int32_t>(Hdr.size());
    Hdr += MsgHdrBytes(M.Hdr) + M.Subfields;
    Idx += IdxBytes(0x1234, M.HdrOffset.value_or(at));
    return at;
}

int32_t JamFixture::AddSimple(const std::string& From, const std::string& To,
                              const std::string& Subj, const std::string& Text,
                              uint32_t Attribute) {
    FixMsg m;
    m.Hdr.Attribute = Attribute;
    m.Hdr.MessageNumber = static_cast<int32_t>(Idx.size() / 8 + 1);
    m.Subfields = SubBytes(2, From) + SubBytes(3, To) + SubBytes(6, Subj);
    m.Text = Text;
    return Add(m);
}

int32_t JamFixture::AddTorn(const MsgHdrFields& H, std::size_t Bytes) {
    const int32_t at = static_cast<int32_t>(Hdr.size());
    Hdr += MsgHdrBytes(H).substr(0, Bytes);
    Idx += IdxBytes(0, at);
    return at;
}

void JamFixture::Write(const std::string& Base) const {
    WriteFileBytes(Base + ".jhr", Hdr);
    WriteFileBytes(Base + ".jdx", Idx);
    WriteFileBytes(Base + ".jdt", Txt);
    if (Lr) WriteFileBytes(Base + ".jlr", *Lr);
}

BaseFiles ReadBaseFiles(const std::string& Base) {
    return {ReadFileBytes(Base + ".jhr"), ReadFileBytes(Base + ".jdx"),
            ReadFileBytes(Base + ".jdt"), ReadFileBytes(Base + ".jlr")};
}

// Fuzzes the finding and saving of UUencoded and PGP blocks in a message text
// of random bytes, split into lines the way the base reader splits them.
// Every block found must start on its start line and end on a later line of
// the text, its column must lie within the start line, and its bytes must be
// exactly those lines from that column on, each ended by LF. The walk that
// offers the blocks must end and save no more blocks than it was allowed to.
// A name made safe holds only letters, digits, "-", "_" and ".", starts with
// no "." and is never empty.
//
// Input layout:
//   byte 0  the answers of the walk, one bit per prompt, used round robin
//           (bit 0 confirm, bit 1 choose a file, bit 2 the save works, ...)
//   byte 1  the length of a sender name; then the name, then the text.
// Seeds: fuzz/corpus/BlockFuzz.

#include "FuzzLines.h"
#include "app/MsgInfo.h"
#include "support/StrUtil.h"
#include "support/StringList.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool Ok, const char* What) {
    if (Ok) return;
    std::fprintf(stderr, "BlockFuzz: %s\n", What);
    std::abort();
}

void CheckName(const std::string& Name) {
    Check(!Name.empty(), "empty file name");
    Check(Name[0] != '.', "file name starts with a dot");
    for (char c : Name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_' || c == '.';
        Check(ok, "file name holds a byte outside letters, digits, '-', '_', '.'");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 2) return 0;
    const uint8_t answers = Data[0];
    std::string_view rest(reinterpret_cast<const char*>(Data + 2), Size - 2);
    const std::string from(rest.substr(0, Data[1]));
    rest.remove_prefix(from.size());
    const TStringList lines = SplitLines(rest);

    CheckName(SafeFileName(from));
    CheckName(SafeFileName(std::string(rest.substr(0, 300))));

    for (TBlockKind kind : {TBlockKind::bkUUE, TBlockKind::bkPGP}) {
        CheckName(BlockName(kind, from, lines.Count()));
        int32_t starts = 0;
        for (int32_t i = 0; i < lines.Count(); ++i) {
            if (!IsBlockStart(kind, lines[i])) continue;
            ++starts;
            TBlockSpan span = BlockAt(kind, lines, i);
            Check(span.First == i, "block does not start on its start line");
            Check(span.Last >= span.First && span.Last < lines.Count(), "block outside the text");
            Check(span.Column <= lines[i].size(), "block column beyond its start line");
            std::string want;
            for (int32_t j = span.First; j <= span.Last; ++j) {
                const std::string& line = lines[j];
                if (line.size() > span.Column) want.append(line, span.Column);
                want += '\n';
            }
            Check(BlockBytes(lines, span) == want, "block bytes differ from its lines");
        }

        int32_t asked = 0, saved = 0;
        auto answer = [&] { return bool((answers >> (asked++ % 8)) & 1); };
        TBlockPrompts prompts{answer,
                              [&](const std::string& Offered) {
                                  CheckName(Offered);
                                  return answer() ? Offered : std::string();
                              },
                              [&](const std::string&, const std::string& Bytes) {
                                  Check(!Bytes.empty() && Bytes.back() == '\n',
                                        "saved block does not end in LF");
                                  bool ok = answer();
                                  saved += ok;
                                  return ok;
                              }};
        Check(ExtractBlocks(kind, lines, from, prompts) == saved, "walk miscounts its saves");
        Check(saved <= starts, "more blocks saved than start lines");
        Check(asked <= 3 * starts, "the walk asked more than it had blocks for");
    }
    return 0;
}

#pragma once
// The text lines of a message as the base reader makes them: a carriage
// return ends a line and takes a line feed right after it along; any other
// line feed is a byte of its line; the bytes after the last line end are the
// last line, a line feed that ends the text being its line end; lines are
// whole. Written byte by byte, apart from the reader, for the fuzz targets
// that check it or feed message texts to the main program's line-based
// procedures.

#include "support/StringList.h"

#include <string>
#include <string_view>

inline TStringList SplitLines(std::string_view Text) {
    TStringList lines;
    std::string line;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\r') {
            line += Text[i];
            continue;
        }
        lines.Add(line);
        line.clear();
        if (i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    }
    if (!line.empty()) {
        if (line.back() == '\n') line.pop_back();
        lines.Add(line);
    }
    return lines;
}

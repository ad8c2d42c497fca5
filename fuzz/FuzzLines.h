#pragma once
// The text lines of a message as the base reader makes them: cut at each
// carriage return, each line at most MaxStrLen bytes, and the bytes after
// the last carriage return dropped. Shared by the fuzz targets that feed
// message texts to the main program's line-based procedures.

#include "support/StrUtil.h"
#include "support/StringList.h"

#include <algorithm>
#include <string_view>

inline TStringList SplitLines(std::string_view Text) {
    TStringList lines;
    std::size_t from = 0;
    for (std::size_t cr = Text.find('\r'); cr != std::string_view::npos;
         cr = Text.find('\r', from)) {
        lines.Add(Text.data() + from, std::min(cr - from, MaxStrLen));
        from = cr + 1;
    }
    return lines;
}

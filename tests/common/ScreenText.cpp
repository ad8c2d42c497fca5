#include "tests/common/ScreenText.h"

#include "terminal/Console.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

constexpr int DrawLines = 25; // the rows the program draws on

template <typename Cell>
std::string Row(const TConsoleScreenRec& Scr, int Y, int From, int To, Cell Of) {
    std::string r;
    if (Y < 1 || Y > ScreenHeight) return r;
    for (int x = std::max(From, 1); x <= std::min(To, ScreenWidth); ++x) r += Of(Scr[Y][x]);
    return r;
}

char CharOf(const TCharInfo& C) {
    return C.Ch;
}

char AttrOf(const TCharInfo& C) {
    return static_cast<char>(C.Attr);
}

const TConsoleScreenRec& Shadow() {
    static const TConsoleScreenRec blank{};
    if (!Screen) {
        ADD_FAILURE() << "the console is not up: no shadow screen to read";
        return blank;
    }
    return Screen->Shadow;
}

} // namespace

std::string RowText(const TConsoleScreenRec& Scr, int Y, int From, int To) {
    return Row(Scr, Y, From, To, CharOf);
}

std::string RowAttrs(const TConsoleScreenRec& Scr, int Y, int From, int To) {
    return Row(Scr, Y, From, To, AttrOf);
}

std::string ScreenRowText(int Y, int From, int To) {
    return RowText(Shadow(), Y, From, To);
}

std::string ScreenRowAttrs(int Y, int From, int To) {
    return RowAttrs(Shadow(), Y, From, To);
}

std::vector<std::string> ScreenTextRows(int To) {
    std::vector<std::string> rows;
    for (int y = 1; y <= DrawLines; ++y) rows.push_back(ScreenRowText(y, 1, To));
    return rows;
}

std::vector<std::string> ScreenAttrRows(int To) {
    std::vector<std::string> rows;
    for (int y = 1; y <= DrawLines; ++y) rows.push_back(ScreenRowAttrs(y, 1, To));
    return rows;
}

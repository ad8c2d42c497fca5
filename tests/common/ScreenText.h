#pragma once
// The shadow screen read back as text, for comparing what was drawn with
// expected rows: a row's characters, or its attributes as one byte per cell,
// over columns From to To (1-based, both included; To 79 leaves out the last
// column). Columns and rows outside the shadow add nothing, so a slip in a
// test cannot read outside it.
//
//   EXPECT_EQ(ScreenRowText(3), "  File  Edit" + std::string(68, ' '));
//   EXPECT_EQ(ScreenRowAttrs(3, 1, 6), std::string(6, '\x1F'));
//   EXPECT_EQ(ScreenTextRows(79), ExpectedScreen); // rows 1-25, one diff

#include "terminal/m_Output_Linux.h"

#include <string>
#include <vector>

// Row Y (1-50) of any screen: a writer's shadow or an image's data.
std::string RowText(const TConsoleScreenRec& Scr, int Y, int From = 1, int To = ScreenWidth);
std::string RowAttrs(const TConsoleScreenRec& Scr, int Y, int From = 1, int To = ScreenWidth);

// Row Y of the console's shadow (Screen's); a failure when the console is down.
std::string ScreenRowText(int Y, int From = 1, int To = ScreenWidth);
std::string ScreenRowAttrs(int Y, int From = 1, int To = ScreenWidth);

// Rows 1-25 of the console's shadow, columns 1 to To.
std::vector<std::string> ScreenTextRows(int To = ScreenWidth);
std::vector<std::string> ScreenAttrRows(int To = ScreenWidth);

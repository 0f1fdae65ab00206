// A small built-in 5 x 7 bitmap font (printable ASCII) for the picture generator.
#pragma once

#include <array>

namespace kvpic {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6;  // one blank column between characters

using Glyph = std::array<const char*, kGlyphHeight>;  // rows of '#' (ink) and '.' (paper)

// The glyph of a printable ASCII character; '?' for anything else.
const Glyph& glyph(char c);

}  // namespace kvpic

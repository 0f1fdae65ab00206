// Colours shared by the generated pictures.
#pragma once

#include "Canvas.h"

namespace kvpic::palette {

inline constexpr Color kWhite{255, 255, 255};
inline constexpr Color kInk{25, 28, 34};
inline constexpr Color kGrey{95, 100, 110};
inline constexpr Color kBrand{18, 70, 140};
inline constexpr Color kAccent{0, 160, 160};
inline constexpr Color kPanel{232, 235, 240};
inline constexpr Color kBox{248, 246, 236};
inline constexpr Color kTerminal{45, 130, 80};
inline constexpr Color kScrew{205, 208, 212};
inline constexpr Color kRed{200, 30, 30};
inline constexpr Color kBlack{40, 40, 40};
inline constexpr Color kGreen{30, 140, 60};
inline constexpr Color kOrange{225, 115, 0};
inline constexpr Color kBlue{30, 90, 200};
inline constexpr Color kBrown{150, 90, 20};
inline constexpr Color kPurple{140, 60, 160};

}  // namespace kvpic::palette

// The JPEG files built into the program; the build generates their definitions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvres::embedded {

extern const std::uint8_t logo[];
extern const std::size_t logoSize;
extern const std::uint8_t wiring[];
extern const std::size_t wiringSize;
extern const std::uint8_t icon[];
extern const std::size_t iconSize;

}  // namespace kvres::embedded

// The window's side of frames and read-back: set frames built from the window's controls,
// and the read-back into them.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "presenter/WindowInterfaces.h"
#include "protocol/Frames.h"

namespace kvpresenter {

std::string encodeField(const Controls& controls, const kvproto::FieldSpec& field);

// The frame from the window's controls. Throws ConversionError from the first field that
// cannot be converted; nothing is built then.
std::string buildSetFrame(std::string_view word, std::span<const kvproto::FieldSpec> fields,
                          const Controls& controls);

// The read-back into the window: text into entry fields, item indexes into lists (beyond the
// items: no selection). Throws ConversionError as runReadBack does.
void applyReadBack(std::string_view reply, Controls& controls);

}  // namespace kvpresenter

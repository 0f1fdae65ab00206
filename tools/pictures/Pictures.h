// The three pictures of the main window, drawn from scratch.
#pragma once

#include "Canvas.h"

namespace kvpic {

Canvas drawLogo();           // 649 x 259, shown stretched at the window's top left
Canvas drawWiringDiagram();  // 516 x 374, the "Wiring Diagram" page
Canvas drawIcon();           // 64 x 64, the window icon
Canvas drawIcon(int size);   // the same icon drawn at size x size (desktop icons)

// The sizes of the desktop icon (hicolor theme) that the build installs.
inline constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};
// The sizes in the Windows program icon: the small, medium and large views of Explorer and the
// taskbar.
inline constexpr int kProgramIconSizes[] = {16, 24, 32, 48, 64, 256};

}  // namespace kvpic

// The three pictures of the main window, drawn from scratch.
#pragma once

#include "Canvas.h"

namespace kvpic {

Canvas drawLogo();           // 649 x 259, shown stretched at the window's top left
Canvas drawWiringDiagram();  // 516 x 374, the "Wiring Diagram" page
Canvas drawIcon();           // 64 x 64, the window icon

}  // namespace kvpic

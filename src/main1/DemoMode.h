// --demo: runs a simulated collector inside the process and offers its port in SPREALCOM
// (through Tmainform1::addPort). Returns false, with a reason in the window's status line,
// when demo mode is not built (KV_DEMO off) or cannot start.
#pragma once

class Tmainform1;

namespace kvmain {
bool startDemoCollector(Tmainform1& window);
}

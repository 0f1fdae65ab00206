// --demo: runs a simulated collector inside the process and offers its port in SPREALCOM
// (through Tmainform1::addPort). Returns false, with a reason in the window's status line,
// when this build has no simulated collector.
#pragma once

class Tmainform1;

namespace kvmain {
bool startDemoCollector(Tmainform1& window);
}

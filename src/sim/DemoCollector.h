// The tool's demo mode: one simulated collector inside the tool's own process, on its own
// thread, until the process ends or stopDemoCollector() is called.
#pragma once

#include <string>

namespace kvsim {

// Starts the demo collector (once; later calls return the same port) and returns the path
// of its port, to be offered in the port list. Throws std::system_error when no
// pseudo-terminal can be opened.
std::string startDemoCollector();

// Stops it (also done at process exit). Any thread.
void stopDemoCollector();

}  // namespace kvsim

// The window under a flood: the real Tmainform1 (offscreen), its port opened on a
// pseudo-terminal whose device side writes as fast as the terminal takes, the "Traffic" page
// shown. Prints the window's peak resident memory growth, how far its handling of the blocks
// falls behind the line, and how long it needs after the flood to have every byte.
#pragma once

namespace kvbench {

void windowFlood(double seconds);

}  // namespace kvbench

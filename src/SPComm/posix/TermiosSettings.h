// The line settings expressed in raw-mode termios. What termios has no counterpart for is
// left out: DSR flow and sensitivity, continue-on-XOFF, the XON/XOFF limits, replacement of
// bytes with parity errors (they read as 0 when ParityCheck is on), DTR handshake and RTS
// toggle (both leave the line raised). Null stripping is done by the receive worker.
#pragma once

#include <termios.h>

#include "SPComm/CommPort.h"

namespace spcomm::detail {

// Rewrites tio for the settings. False when this termios has no code for the speed; the
// speed is left as it was then (everything else is rewritten).
bool ToTermios(const TLineSettings& settings, termios& tio);

}  // namespace spcomm::detail

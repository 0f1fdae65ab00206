// Opening a network port (net/NetPortName.h), the back end's counterpart of OpenCommPort().
// One file per system: posix/NetCommPort.cpp, win32/NetCommPort.cpp.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "SPComm/CommPort.h"

namespace spcomm::detail {

// Resolves the host and connects within `timeout` (all its addresses together). Raises
// ECommsError:
//   "Error opening serial port" (EINVAL)  the name is not a well-formed network port name;
//   "Cannot resolve host name"            kind HostNotFound, the resolver's code and text
//                                         (getaddrinfo's EAI_* code on POSIX, the Winsock
//                                         error on Windows);
//   "Cannot connect to network port"      kind Refused (ECONNREFUSED / WSAECONNREFUSED),
//                                         TimedOut (no answer within the time-out: ETIMEDOUT /
//                                         WSAETIMEDOUT), or Other.
// The look-up and the connect are shared by both systems (net/NetConnect.h).
// For rfc2217:// the port's ApplyLineSettings() before Start() negotiates the COM-PORT option
// and waits (at most `timeout`) for the server to confirm baud rate, data size, parity and
// stop size; its error makes Open() raise "Cannot apply line settings". Control lines are set
// too but never waited for. After Start(), changed settings are sent without waiting.
// `cancel` (none: nothing to watch): the connect and that negotiation give up as soon as it is
// set (the resolver's look-up cannot be interrupted); the open then fails and the caller
// reports it as cancelled. It must outlive the negotiation (the port's ApplyLineSettings()
// before Start()).
std::unique_ptr<TCommPort> OpenNetPort(const std::string& name, std::chrono::milliseconds timeout,
                                       const TOpenCancel* cancel = nullptr);

}  // namespace spcomm::detail

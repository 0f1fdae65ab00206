// Windows: network ports are not built into this back end yet; opening one says so.
#include "SPComm/net/NetCommPort.h"

#include <windows.h>

namespace spcomm::detail {

std::unique_ptr<TCommPort> OpenNetPort(const std::string&, std::chrono::milliseconds) {
    throw ECommsError("Error opening serial port", ERROR_NOT_SUPPORTED,
                      "network ports (rfc2217://, tcp://) are not available on Windows yet");
}

}  // namespace spcomm::detail

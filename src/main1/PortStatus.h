// Status-line texts of the port panel.
#pragma once

#include <QString>

#include "SPComm/TComm.h"

namespace kvmain {

// Why `port` did not open: the component's message, the port, and the system's reason when
// there is one ("Error opening serial port (/dev/ttyUSB0): Permission denied."). On Linux a
// permission error (EACCES, EPERM) adds that the user needs to be in the dialout group.
QString openFailureStatus(const spcomm::ECommsError& error, const QString& port);

}  // namespace kvmain

#include "main1/adapters/QtSerialWrite.h"

#include <limits>

namespace {

std::string notOpenText() {
    return "Not sent: the serial port is not open.";
}

std::string lineFailedText(const std::string& port) {
    return "Not sent: the serial port " + port +
           " stopped working (cable or adapter unplugged?). Press Close, check the "
           "connection, then Open.";
}

}  // namespace

QtSerialWrite::QtSerialWrite(spcomm::TComm& comm) : comm_(comm) {}

bool QtSerialWrite::write(std::string_view bytes) {
    if (bytes.empty()) {
        refused_ = "Not sent: the frame is empty.";
        return false;
    }
    if (bytes.size() > std::numeric_limits<std::uint16_t>::max()) {
        refused_ = "Not sent: the frame is longer than 65535 bytes.";
        return false;
    }
    if (comm_.Write(bytes.data(), static_cast<std::uint16_t>(bytes.size()))) {
        refused_.clear();
        return true;
    }
    // An open port refuses a frame only once a worker has given up on the line (its notice
    // may still be on its way). A closed port explains itself for as long as it is closed.
    if (comm_.IsOpen())
        refused_ = lineFailedText(comm_.CommName());
    else
        refused_.clear();
    return false;
}

std::string QtSerialWrite::notSentReason() const {
    if (!comm_.IsOpen()) return notOpenText();
    if (comm_.LineFailed()) return lineFailedText(comm_.CommName());
    return refused_;
}

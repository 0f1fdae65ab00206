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
    std::string_view notSent;  // for the observer
    if (bytes.empty()) {
        refused_ = "Not sent: the frame is empty.";
        notSent = "empty frame";
    } else if (bytes.size() > std::numeric_limits<std::uint16_t>::max()) {
        refused_ = "Not sent: the frame is longer than 65535 bytes.";
        notSent = "longer than one write can carry (65535 bytes)";
    } else if (comm_.Write(bytes.data(), static_cast<std::uint16_t>(bytes.size()))) {
        refused_.clear();
    } else if (comm_.IsOpen()) {
        // An open port refuses a frame only once a worker has given up on the line (its
        // notice may still be on its way).
        refused_ = lineFailedText(comm_.CommName());
        notSent = "the port stopped working";
    } else {
        // A closed port explains itself for as long as it is closed.
        refused_.clear();
        notSent = "the port is not open";
    }
    if (observer_) observer_(bytes, notSent);
    return notSent.empty();
}

std::string QtSerialWrite::notSentReason() const {
    if (!comm_.IsOpen()) return notOpenText();
    if (comm_.LineFailed()) return lineFailedText(comm_.CommName());
    return refused_;
}

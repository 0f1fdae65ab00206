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

QtSerialWrite::QtSerialWrite(kvops::Line& line) : line_(line) {}

bool QtSerialWrite::write(std::string_view bytes) {
    std::string_view notSent;  // for the line's tap
    const kvops::Error error = line_.write(bytes);
    switch (error.code) {
        case kvops::ErrorCode::None:
            refused_.clear();
            break;
        case kvops::ErrorCode::NotOpen:
            // A closed port explains itself for as long as it is closed.
            refused_.clear();
            notSent = "the port is not open";
            break;
        case kvops::ErrorCode::HungUp:
            // An open port refuses a frame only once a worker has given up on the line (its
            // notice may still be on its way).
            refused_ = lineFailedText(line_.port());
            notSent = "the port stopped working";
            break;
        default:
            refused_ = bytes.empty() ? "Not sent: the frame is empty."
                                     : "Not sent: the frame is longer than 65535 bytes.";
            notSent =
                bytes.empty() ? "empty frame" : "longer than one write can carry (65535 bytes)";
            break;
    }
    using Kind = kvops::LineEvent::Kind;
    line_.tell({notSent.empty() ? Kind::Sent : Kind::NotSent, bytes, notSent, {}});
    return notSent.empty();
}

std::string QtSerialWrite::notSentReason() const {
    if (!line_.isOpen()) return notOpenText();
    if (line_.comm().LineFailed()) return lineFailedText(line_.port());
    return refused_;
}

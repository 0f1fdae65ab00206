#include "main1/adapters/QtSerialWrite.h"

#include "main1/adapters/WindowText.h"

namespace {

// Why a frame was not sent, in the traffic log's words.
std::string_view trafficWords(const kvops::Error& error, std::string_view bytes) {
    switch (error.code) {
        case kvops::ErrorCode::None:
            return {};
        case kvops::ErrorCode::NotOpen:
            return "the port is not open";
        case kvops::ErrorCode::HungUp:
            return "the port stopped working";
        default:
            return bytes.empty() ? "empty frame" : "longer than one write can carry (65535 bytes)";
    }
}

}  // namespace

QtSerialWrite::QtSerialWrite(kvops::Line& line) : line_(line) {}

bool QtSerialWrite::write(std::string_view bytes) {
    const kvops::Error error = line_.write(bytes);
    // A closed port explains itself for as long as it is closed; an accepted frame clears the
    // reason of the last refused one. An open port refuses a frame with HungUp only once a
    // worker has given up on the line (its notice may still be on its way).
    refused_ = error.code == kvops::ErrorCode::NotOpen
                   ? std::string()
                   : windowText(error, line_.port(), WindowPlace::NotSent);
    const std::string_view notSent = trafficWords(error, bytes);
    using Kind = kvops::LineEvent::Kind;
    line_.tell({notSent.empty() ? Kind::Sent : Kind::NotSent, bytes, notSent, {}});
    return !error;
}

std::string QtSerialWrite::notSentReason() const {
    if (!line_.isOpen()) return windowText({kvops::ErrorCode::NotOpen}, {}, WindowPlace::NotSent);
    if (line_.comm().LineFailed())
        return windowText({kvops::ErrorCode::HungUp}, line_.port(), WindowPlace::NotSent);
    return refused_;
}

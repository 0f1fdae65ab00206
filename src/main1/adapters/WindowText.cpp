#include "main1/adapters/WindowText.h"

#include "presenter/WindowInterfaces.h"

namespace {

// The line hung up: what the technician is to do, after "The " or "Not sent: the ".
std::string stoppedWorking(std::string_view port) {
    return "serial port " + std::string(port) +
           " stopped working (cable or adapter unplugged?). Press Close, check the connection, "
           "then Open.";
}

}  // namespace

std::string windowText(const kvops::Error& error, std::string_view port, WindowPlace place) {
    switch (place) {
        case WindowPlace::StatusLine:
            if (error.code == kvops::ErrorCode::HungUp) return "The " + stoppedWorking(port);
            return kvops::describe(error, port) + ".";
        case WindowPlace::MessageBox:
            return error.summary.empty() ? kvops::describe(error) : error.summary;
        case WindowPlace::NotSent:
            switch (error.code) {
                case kvops::ErrorCode::None:
                    return {};
                case kvops::ErrorCode::NotOpen:
                    return std::string(kvpresenter::kNotSentStatus);
                case kvops::ErrorCode::HungUp:
                    return "Not sent: the " + stoppedWorking(port);
                default:
                    return "Not sent: " + kvops::describe(error) + ".";
            }
    }
    return kvops::describe(error, port);
}

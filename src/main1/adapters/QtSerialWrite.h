// kvpresenter::SerialWrite over the window's line. Main thread only.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "ops/Line.h"
#include "presenter/WindowInterfaces.h"

class QtSerialWrite : public kvpresenter::SerialWrite {
public:
    explicit QtSerialWrite(kvops::Line& line);

    // False when the port refuses the frame (closed, or its line has failed), when it is
    // empty, or when it is longer than one write can carry (65535 bytes). The line's tap is
    // told of every frame: Sent, or NotSent and why.
    bool write(std::string_view bytes) override;

    // Why a frame is not sent, as a status-line text (windowText(..., WindowPlace::NotSent)):
    // the port is closed, or its line has failed (the text tells the technician to press
    // Close, check the connection, then Open), or else why the last refused write was
    // refused. Empty when the port takes frames and no write has been refused since the last
    // one that went through.
    std::string notSentReason() const override;

private:
    kvops::Line& line_;
    std::string refused_;  // reason of the last refused write; cleared by an accepted one
};

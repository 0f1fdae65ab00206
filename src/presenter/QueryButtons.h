// The query and device-action buttons of the session. Each sends a fixed frame and names the
// exchange that its reply belongs to (the pending request).
// The order of the steps differs between the buttons and is kept as the window has always
// done it; the result is the same unless a step's effect is observed in between.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "presenter/DeviceSession.h"

namespace kvpresenter {

enum class QueryStep {
    SetPending,    // pending request := the button's
    ShowFrame,     // discomm := frame
    ClearReceive,  // empty Memo8
    Write,         // frame to the serial port
    ArmTimeout,    // if the port took the frame: time-out kind := the button's; Timer3 restarted
};

struct QueryButton {
    std::string_view button;  // control name
    std::string_view frame;
    PendingRequest pending;
    TimeoutKind timeoutKind;  // used by ArmTimeout only
    std::array<QueryStep, 5> steps;
    std::size_t stepCount;

    std::span<const QueryStep> stepSpan() const { return {steps.data(), stepCount}; }
};

// "Read Parameters" (Button32), "Communication Test" (Button14), "Data Query" (Button124),
// "Parameter Initialization" (Button19), in that order.
std::span<const QueryButton> queryButtons();

}  // namespace kvpresenter

// DeviceSession: everything the window does with the collector, free of any GUI toolkit.
// It builds and sends the frames of the set, query and action buttons, pairs replies with
// the pending request, runs the parameter read-back and the reply time-out. The window's
// handlers (Button32Click, Comm1ReceiveData, Timer6Timer, ...) delegate to it.
//
// Main thread only. The referenced interfaces must outlive the session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/WindowInterfaces.h"

namespace kvproto {

// Pending request codes.
enum PendingCode : int {
    kIdle = 0,
    kReplyExpected = 100,   // communication test, LPN/LPF/ZOM/PUDL/MTM
    kReadParameters = 101,
    kDataQuery = 999,
    kParameterReset = 1001,
};

// Time-out kinds: which message the reply time-out shows.
enum TimeoutKind : int {
    kTimeoutSilent = 0,
    kTimeoutConnection = 1,       // "Connection Timeout"
    kTimeoutParameterQuery = 2,   // "Parameter Query Timeout!"
    kTimeoutSilentLong = 3,       // after MTM
};

class DeviceSession {
public:
    DeviceSession(Controls& controls, Timer& timer3, Timer& timer6, UserMessages& messages,
                  SerialWrite& serial);

    // One of the 22 "Set" buttons, by its control name ("AD1SET", "Button85", "PButton52" ...).
    // Returns false when the name is not a set button.
    bool setButtonClick(std::string_view button);

    void readParametersClick();         // Button32
    void communicationTestClick();      // Button14
    void dataQueryClick();              // Button124
    void parameterInitializationClick();  // Button19

    // The serial component's receive event: one received block.
    void receiveData(const std::uint8_t* buffer, std::size_t length);
    void timer6Timer();
    void timer3Timer();

    int pendingCode() const { return pending_; }
    const std::string& replyText() const { return reply_; }
    int timeoutKind() const { return timeoutKind_; }

private:
    Controls& controls_;
    Timer& timer3_;
    Timer& timer6_;
    UserMessages& messages_;
    SerialWrite& serial_;
    int pending_ = kIdle;
    std::string reply_;
    int timeoutKind_ = kTimeoutSilent;
};

}  // namespace kvproto

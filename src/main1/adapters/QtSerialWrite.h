// kvproto::SerialWrite over the window's TComm. Main thread only.
#pragma once

#include <functional>
#include <string_view>

#include "SPComm/TComm.h"
#include "protocol/WindowInterfaces.h"

class QtSerialWrite : public kvproto::SerialWrite {
public:
    explicit QtSerialWrite(spcomm::TComm& comm);

    // False when the port refuses the frame (closed), when it is empty, or when it is longer
    // than one write can carry (65535 bytes).
    bool write(std::string_view bytes) override;

    // Told of every frame given to write(): the reason it was not sent, or empty when sent.
    using Observer = std::function<void(std::string_view frame, std::string_view notSentReason)>;
    void setObserver(Observer observer) { observer_ = std::move(observer); }

private:
    spcomm::TComm& comm_;
    Observer observer_;
};

// kvproto::SerialWrite over the window's TComm. Main thread only.
#pragma once

#include "SPComm/TComm.h"
#include "protocol/WindowInterfaces.h"

class QtSerialWrite : public kvproto::SerialWrite {
public:
    explicit QtSerialWrite(spcomm::TComm& comm);

    // False when the port refuses the frame (closed), when it is empty, or when it is longer
    // than one write can carry (65535 bytes).
    bool write(std::string_view bytes) override;

private:
    spcomm::TComm& comm_;
};

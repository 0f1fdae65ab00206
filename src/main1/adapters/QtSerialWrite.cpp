#include "main1/adapters/QtSerialWrite.h"

#include <limits>

QtSerialWrite::QtSerialWrite(spcomm::TComm& comm) : comm_(comm) {}

bool QtSerialWrite::write(std::string_view bytes) {
    std::string_view notSent;
    if (bytes.size() > std::numeric_limits<std::uint16_t>::max())
        notSent = "longer than one write can carry (65535 bytes)";
    else if (bytes.empty())
        notSent = "empty frame";
    else if (!comm_.IsOpen())
        notSent = "the port is not open";
    else if (!comm_.Write(bytes.data(), static_cast<std::uint16_t>(bytes.size())))
        notSent = "the port refused the frame";
    if (observer_) observer_(bytes, notSent);
    return notSent.empty();
}

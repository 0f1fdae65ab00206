#include "main1/adapters/QtSerialWrite.h"

#include <limits>

QtSerialWrite::QtSerialWrite(spcomm::TComm& comm) : comm_(comm) {}

bool QtSerialWrite::write(std::string_view bytes) {
    if (bytes.size() > std::numeric_limits<std::uint16_t>::max()) return false;
    return comm_.Write(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
}

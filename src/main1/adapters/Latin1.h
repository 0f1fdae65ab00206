// Text between the window's widgets and the protocol's byte strings: one byte per character,
// Latin-1. A character without a Latin-1 byte becomes '?'; zero bytes pass both ways.
#pragma once

#include <QString>
#include <string>
#include <string_view>

std::string toLatin1Bytes(const QString& text);
QString fromLatin1Bytes(std::string_view bytes);

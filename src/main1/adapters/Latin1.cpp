#include "main1/adapters/Latin1.h"

std::string toLatin1Bytes(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() <= 0xFF) {
            bytes.push_back(static_cast<char>(c.unicode()));
            continue;
        }
        // A character outside the BMP is one '?', not one per UTF-16 half.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
        bytes.push_back('?');
    }
    return bytes;
}

QString fromLatin1Bytes(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

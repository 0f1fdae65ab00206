#include "files/Csv.h"

namespace kvfiles {

bool isPlainNumber(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    bool digit = false, point = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

std::string csvField(std::string_view field) {
    const bool formula = !field.empty() &&
                         std::string_view("=+-@").find(field.front()) != std::string_view::npos &&
                         !isPlainNumber(field);
    if (!formula && field.find_first_of(",;\"\r\n") == std::string_view::npos)
        return std::string(field);
    std::string out = formula ? "\"'" : "\"";
    for (const char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace kvfiles

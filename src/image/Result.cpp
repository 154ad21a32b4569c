#include "image/Result.h"

namespace vantrel {

std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    const auto first = line.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    line.erase(line.find_last_not_of(' ') + 1);
    line.erase(0, first);
    return line;
}

} // namespace vantrel

#pragma once
// The two pieces of JSON every report writes. A string: quote, backslash and bytes below 0x20
// escaped, every other byte kept as it is (paths need not be valid UTF-8). A number: the
// shortest text that reads back as the same double; 0 for anything not finite, never "-0".
#include <string>
#include <string_view>

namespace vantrel {

std::string JsonString(std::string_view text);
std::string JsonNumber(double value);

} // namespace vantrel

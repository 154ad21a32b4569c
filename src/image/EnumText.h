#pragma once
// The one way an enum's value becomes the text reports write: a table in the enum's order. The
// table's length is checked against the enum's last value at compile time, so a value added at
// the end without its text fails to build; a value outside the enum (a bad wire byte) reads as
// `fallback`.
#include <cstddef>

namespace vantrel {

template <auto Last, std::size_t N>
const char* EnumText(decltype(Last) value, const char* const (&texts)[N], decltype(Last) fallback) {
    static_assert(N == static_cast<std::size_t>(Last) + 1, "one text for every value of the enum");
    const auto index = static_cast<std::size_t>(value);
    return texts[index < N ? index : static_cast<std::size_t>(fallback)];
}

} // namespace vantrel

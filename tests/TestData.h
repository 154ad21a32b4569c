#pragma once
// The tiny files in tests/data, by name.
#include <string>

namespace vantrel::testing {

inline std::string Data(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/" + name;
}

} // namespace vantrel::testing

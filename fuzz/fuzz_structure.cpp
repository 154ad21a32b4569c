// Fuzzes the structure walk on any file's bytes (it runs in the decoder process): whatever the
// bytes, it ends, and every extent it reports lies inside the file.
#include "structure/FileStructure.h"

#include <cstdint>
#include <cstdlib>

namespace {

void CheckParts(const std::vector<vantrel::structure::Part>& parts, std::size_t size, int depth) {
    if (depth > 64) {
        std::abort();
    }
    for (const auto& part : parts) {
        if (part.offset > size || part.length > size - part.offset) {
            std::abort();
        }
        CheckParts(part.children, size, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel::structure;
    StructureLimits limits;
    limits.inflateMargin = 1 << 20; // small caps keep each run short
    limits.inflateTotal = 8 << 20;
    limits.carveFollow = 1 << 20;
    limits.sizeSearchWidth = 256;
    const auto walked = WalkStructure({data, size}, limits);
    if (!walked) {
        return 0;
    }
    if (walked->end > size) {
        std::abort();
    }
    CheckParts(walked->parts, size, 0);
    for (const Anomaly& anomaly : walked->anomalies) {
        if (anomaly.offset > size || anomaly.length > size - anomaly.offset) {
            std::abort();
        }
    }
    for (const Carved& carved : walked->carved) {
        if (carved.bytes.empty() &&
            (carved.offset > size || carved.length > size - carved.offset)) {
            std::abort();
        }
    }
    const std::string json = StructureJson(*walked, "fuzz");
    const std::string report = StructureReport(*walked, "fuzz");
    if (json.empty() || report.empty()) {
        std::abort();
    }
    return 0;
}

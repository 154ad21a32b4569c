#include "structure/LoadStructure.h"

#include "structure/StructureWire.h"

namespace vantrel::structure {

Result<FileStructure> LoadFileStructure(const std::string& path, const DecodeLimits& limits) {
    const Result<std::vector<std::uint8_t>> bytes =
        AnalyseInDecoder(path, kStructureAnalysis, limits);
    if (!bytes) {
        return Failure(bytes.error());
    }
    return DecodeStructure(*bytes);
}

} // namespace vantrel::structure

#include "structure/LoadStructure.h"

#include "structure/StructureWire.h"

namespace vantrel::structure {

Result<FileStructure> LoadFileStructure(const std::string& path, const DecodeLimits& limits) {
    return AnalyseInDecoder<FileStructure>(path, kStructureAnalysis, DecodeStructure, limits);
}

} // namespace vantrel::structure

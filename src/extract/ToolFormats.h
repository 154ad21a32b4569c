#pragma once
// The framings of real hiding tools, decoded from the image and verified: steggy (length and
// SHA-256), stegano (depth pixel and escaped frame) and stepic (nine samples a byte).
#include "extract/BitStream.h"
#include "extract/PayloadChecks.h"

#include <vector>

namespace vantrel::extract {

// Each tool's message where its framing holds, as findings whose payload is the message.
std::vector<Finding> CheckToolFormats(const SampleImage& image, const CheckLimits& limits);

} // namespace vantrel::extract

#pragma once
// The analyses the decoder process runs on a file's bytes for its callers, by name: each parses
// what the suspect file holds, which is why it runs here and not in the program that asks.
#include "image/DecodeProtocol.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// Runs the analysis the request names on the file at its path; the encoding goes back in a memfd
// (`payload`), or, unless the request asks for shared memory, stays in `lent` for the caller to
// read from this process's memory, as decoded pixels do, with a decoded bitmap whose rows are
// lent beside it in `lentRows`; a failure as the reply's one-line message.
decoding::Reply ServeAnalysis(const decoding::Request& request, int* payload,
                              std::vector<std::uint8_t>& lent, BitmapHandle& lentRows);

} // namespace vantrel

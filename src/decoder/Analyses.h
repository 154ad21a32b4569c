#pragma once
// The analyses the decoder process runs on a file's bytes for its callers, by name: each parses
// what the suspect file holds, which is why it runs here and not in the program that asks.
#include "image/DecodeProtocol.h"

#include <string>

namespace vantrel {

// Runs the analysis the request names on the file at its path; the encoding goes back in a memfd
// (`payload`), a failure as the reply's one-line message.
decoding::Reply ServeAnalysis(const decoding::Request& request, int* payload);

} // namespace vantrel

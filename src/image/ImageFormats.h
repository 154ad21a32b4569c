#pragma once
// Which FreeImage decoder a file name asks for, and with which load flags.
#include <string>

namespace vantrel {

struct FormatChoice {
    int format = -1; // a FREE_IMAGE_FORMAT value
    int flags = 0;
    bool fromTable = false; // false when the name matched no row and the raw decoder is the guess
    friend bool operator==(const FormatChoice&, const FormatChoice&) = default;
};

// The decoder and load flags chosen from the last four characters of the path, compared
// case-sensitively with the extension table.
FormatChoice ImageFormatFor(const std::string& path);

// The load flags the extension table gives a format (JPEG accurate, raw display, 0 otherwise).
int LoadFlagsFor(int format);

// True for the formats whose size the decoder process reads from the header alone, without
// decoding pixels. Camera-raw files are left out: their header size need not be the size of the
// developed picture.
bool SizeComesFromHeader(const FormatChoice& choice);

} // namespace vantrel

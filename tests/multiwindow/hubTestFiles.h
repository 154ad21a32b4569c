#pragma once
// Image files for the window tests, written with FreeImage so that the tests need no data
// files: display pixel (x, y) is red x mod 256, green y mod 256, blue 7.
#include <string>

namespace vantrel::testfiles {

// A 24-bit PNG, with a "Comment" text chunk when the comment is not empty. False when the
// file cannot be written.
bool WritePlaceImage(const std::string& path, int width, int height,
                     const std::string& comment = {});

} // namespace vantrel::testfiles

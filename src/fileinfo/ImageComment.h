#pragma once
// The "Comment" tag of a decoded bitmap.
#include <string>

struct FIBITMAP;

namespace vantrel {

// The comment as UTF-8 text, "" when there is none (or for null).
std::string GetImageComment(const FIBITMAP* bitmap);

// The bytes up to the first NUL as UTF-8 (bytes of 128 and above read as Latin-1); "" for null.
std::string TextFromPointer(const char* text);

} // namespace vantrel

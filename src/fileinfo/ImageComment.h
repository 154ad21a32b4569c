#pragma once
// The "Comment" tag of a decoded bitmap.
#include <string>

struct FIBITMAP;

namespace vantrel {

// The comment as UTF-8 text, "" when there is none (or for null).
std::string GetImageComment(const FIBITMAP* bitmap);

} // namespace vantrel

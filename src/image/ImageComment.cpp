#include "image/ImageComment.h"

namespace vantrel {

std::string GetImageComment(const FIBITMAP*) {
    return {};
}

std::string TextFromPointer(const char* text) {
    return text ? text : "";
}

} // namespace vantrel

#include "image/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vantrel {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value) || value == 0) {
        return "0"; // and never "-0"
    }
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

} // namespace vantrel

namespace vantrel {

JsonObject& JsonObject::add(std::string_view key, std::string_view text) {
    return raw(key, JsonString(text));
}

JsonObject& JsonObject::raw(std::string_view key, std::string_view json) {
    if (!body_.empty()) {
        body_ += ", ";
    }
    body_ += JsonString(key);
    body_ += ": ";
    body_ += json;
    return *this;
}

std::string JsonArray(const std::vector<std::string>& elements) {
    std::string out = "[";
    for (std::size_t i = 0; i < elements.size(); ++i) {
        out += i == 0 ? "" : ", ";
        out += elements[i];
    }
    return out + "]";
}

std::string JsonStringArray(const std::vector<std::string>& texts) {
    std::vector<std::string> quoted;
    quoted.reserve(texts.size());
    for (const std::string& text : texts) {
        quoted.push_back(JsonString(text));
    }
    return JsonArray(quoted);
}

} // namespace vantrel

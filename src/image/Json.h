#pragma once
// The JSON every report writes. A string: quote, backslash and bytes below 0x20 escaped, every
// other byte kept as it is (paths need not be valid UTF-8). A number: the shortest text that reads
// back as the same double; 0 for anything not finite, never "-0". Objects are written as
// {"key": value, "key": value}, the one layout every command prints.
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

std::string JsonString(std::string_view text);
std::string JsonNumber(double value);

// Builds one object in insertion order. Nested objects and arrays go in through `raw`, already
// written (by another JsonObject, or JsonArray).
class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view text);
    JsonObject& add(std::string_view key, const std::string& text) {
        return add(key, std::string_view(text));
    }
    // Without it a string literal would convert to bool before string_view.
    JsonObject& add(std::string_view key, const char* text) {
        return add(key, std::string_view(text));
    }
    JsonObject& add(std::string_view key, double value) { return raw(key, JsonNumber(value)); }
    JsonObject& add(std::string_view key, bool value) { return raw(key, value ? "true" : "false"); }
    // One overload per integer width: a template constrained with concepts would trip moc in
    // every window header that reaches this one.
    JsonObject& add(std::string_view key, int value) { return raw(key, std::to_string(value)); }
    JsonObject& add(std::string_view key, long value) { return raw(key, std::to_string(value)); }
    JsonObject& add(std::string_view key, long long value) {
        return raw(key, std::to_string(value));
    }
    JsonObject& add(std::string_view key, unsigned value) {
        return raw(key, std::to_string(value));
    }
    JsonObject& add(std::string_view key, unsigned long value) {
        return raw(key, std::to_string(value));
    }
    JsonObject& add(std::string_view key, unsigned long long value) {
        return raw(key, std::to_string(value));
    }
    JsonObject& null(std::string_view key) { return raw(key, "null"); }
    JsonObject& raw(std::string_view key, std::string_view json);

    bool empty() const { return body_.empty(); }
    std::string str() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

// [a, b, c] of elements already written as JSON.
std::string JsonArray(const std::vector<std::string>& elements);
// ["a", "b"] of texts.
std::string JsonStringArray(const std::vector<std::string>& texts);

} // namespace vantrel

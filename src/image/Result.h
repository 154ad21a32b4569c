#pragma once
// One way of reporting failure across the core: a value, or the one-line reason there is none.
// Loads, candidates, scan rows and analyses all return this, so a caller shows a failure the same
// way wherever it came from (a status line, a table cell, stderr).
#include <cassert>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vantrel {

// The text on one line: line breaks and other control characters become spaces and the ends are
// trimmed. Messages quote file names and library texts, which may hold anything; spaces inside
// are kept, since they may be part of a quoted name.
std::string OneLine(std::string_view text);

// Why there is no value; the message is made one line when the failure is made.
struct Failure {
    std::string message;
    explicit Failure(std::string_view text) : message(OneLine(text)) {}
};

template <typename T> class Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failure) : error_(std::move(failure.message)) {
        // An empty reason would read as success wherever only the text is shown.
        if (error_.empty()) {
            error_ = "failed";
        }
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    const T& value() const& {
        assert(ok());
        return *value_;
    }
    T& value() & {
        assert(ok());
        return *value_;
    }
    T&& value() && {
        assert(ok());
        return std::move(*value_);
    }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }

    // Empty when there is a value.
    const std::string& error() const { return error_; }

private:
    std::optional<T> value_;
    std::string error_;
};

} // namespace vantrel

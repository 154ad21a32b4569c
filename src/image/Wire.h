#pragma once
// Flat encodings of what the decoder process sends back: fixed-width values in host order (both
// ends are the same machine), strings and byte runs with their lengths. The reader checks every
// read against what is there and a failed read sticks, since a reply is never trusted.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace vantrel::wire {

class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    template <typename T> void put(T value) { putBytes(&value, sizeof value); }
    // resize + memcpy rather than insert: GCC 12 at -O3 misjudges insert's bounds.
    void putBytes(const void* data, std::size_t size) {
        if (size == 0) {
            return;
        }
        const std::size_t at = out_.size();
        out_.resize(at + size);
        std::memcpy(out_.data() + at, data, size);
    }
    void putString(const std::string& text) {
        put<std::uint64_t>(text.size());
        putBytes(text.data(), text.size());
    }
    template <typename T> void putArray(std::span<const T> values) {
        put<std::uint64_t>(values.size());
        putBytes(values.data(), values.size_bytes());
    }

private:
    std::vector<std::uint8_t>& out_;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
    template <typename T> T get() {
        T value{};
        if (!ok_ || in_.size() - offset_ < sizeof value) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, in_.data() + offset_, sizeof value);
        offset_ += sizeof value;
        return value;
    }
    std::span<const std::uint8_t> getBytes(std::uint64_t size) {
        if (!ok_ || in_.size() - offset_ < size) {
            ok_ = false;
            return {};
        }
        const auto bytes = in_.subspan(offset_, static_cast<std::size_t>(size));
        offset_ += static_cast<std::size_t>(size);
        return bytes;
    }
    std::string getString(std::uint64_t size) {
        const auto bytes = getBytes(size);
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }
    std::string getString() { return getString(get<std::uint64_t>()); }
    // A count of items of `itemBytes` each that must still fit what is left: a forged count
    // fails here instead of sizing an allocation.
    std::size_t getCount(std::size_t itemBytes) {
        const auto count = get<std::uint64_t>();
        if (!ok_ || itemBytes == 0 || count > (in_.size() - offset_) / itemBytes) {
            ok_ = false;
            return 0;
        }
        return static_cast<std::size_t>(count);
    }
    template <typename T> std::vector<T> getArray() {
        const std::size_t count = getCount(sizeof(T));
        std::vector<T> values(count);
        const auto bytes = getBytes(count * sizeof(T));
        if (!bytes.empty()) {
            std::memcpy(values.data(), bytes.data(), bytes.size());
        }
        return values;
    }
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && offset_ == in_.size(); }
    void fail() { ok_ = false; }

private:
    std::span<const std::uint8_t> in_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

} // namespace vantrel::wire

#pragma once
// A zlib, raw deflate or gzip stream inflated from untrusted bytes under an output cap. Input is
// fed in pieces as it arrives (a stream's bytes read on demand, a PNG's IDAT chunks); the output
// goes to a sink a piece at a time and is never held here.
#include <cstdint>
#include <functional>
#include <memory>

namespace vantrel::bytes {

class BoundedInflater {
public:
    using Sink = std::function<void(const std::uint8_t*, std::size_t)>;
    // `windowBits` as zlib's inflateInit2 takes it (15 zlib, -15 raw deflate, 31 gzip). The cap
    // is checked after every `piece` bytes of output at most, so the pieces' size decides how far
    // past the cap a stream is followed: callers that report the count keep theirs fixed.
    BoundedInflater(int windowBits, std::uint64_t cap, std::size_t piece, Sink sink = {});
    ~BoundedInflater();
    BoundedInflater(const BoundedInflater&) = delete;
    BoundedInflater& operator=(const BoundedInflater&) = delete;

    // Inflates `count` more bytes of input; returns how many of them follow the stream's end
    // (all of them once it has ended, none while it runs or after it broke or reached the cap).
    std::uint64_t feed(const std::uint8_t* data, std::uint64_t count);

    std::uint64_t produced() const { return produced_; }
    std::uint64_t consumed() const;
    bool ended() const { return ended_; }
    bool broken() const { return broken_; }
    bool capped() const { return capped_; }
    // Neither ended, broken nor capped: more input may still be fed.
    bool open() const { return ok_ && !ended_ && !broken_ && !capped_; }

private:
    struct Stream;
    std::unique_ptr<Stream> z_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t piece_;
    std::uint64_t cap_;
    Sink sink_;
    std::uint64_t produced_ = 0;
    bool ok_ = false, ended_ = false, broken_ = false, capped_ = false;
};

} // namespace vantrel::bytes

#include "bytes/BoundedInflate.h"

#include <zlib.h>

#include <algorithm>

namespace vantrel::bytes {

struct BoundedInflater::Stream {
    z_stream z{};
};

BoundedInflater::BoundedInflater(int windowBits, std::uint64_t cap, std::size_t piece, Sink sink)
    : z_(std::make_unique<Stream>()), buffer_(std::make_unique<std::uint8_t[]>(piece)),
      piece_(piece), cap_(cap), sink_(std::move(sink)) {
    ok_ = inflateInit2(&z_->z, windowBits) == Z_OK;
}

BoundedInflater::~BoundedInflater() {
    if (ok_) {
        inflateEnd(&z_->z);
    }
}

std::uint64_t BoundedInflater::consumed() const {
    return z_->z.total_in;
}

std::uint64_t BoundedInflater::feed(const std::uint8_t* data, std::uint64_t count) {
    if (!open()) {
        return ended_ ? count : 0;
    }
    z_stream& z = z_->z;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = 0;
    while (count > 0 || z.avail_in > 0) {
        if (z.avail_in == 0) {
            const auto piece = static_cast<uInt>(std::min<std::uint64_t>(count, 1u << 30));
            z.avail_in = piece;
            count -= piece;
        }
        z.next_out = buffer_.get();
        z.avail_out = static_cast<uInt>(piece_);
        const int code = inflate(&z, Z_NO_FLUSH);
        const std::size_t made = piece_ - z.avail_out;
        produced_ += made;
        if (sink_ && made > 0) {
            sink_(buffer_.get(), made);
        }
        if (code == Z_STREAM_END) {
            ended_ = true;
            return z.avail_in + count;
        }
        if (code != Z_OK && code != Z_BUF_ERROR) {
            broken_ = true;
            return 0;
        }
        if (produced_ >= cap_) {
            capped_ = true;
            return 0;
        }
        if (code == Z_BUF_ERROR && z.avail_in == 0 && count == 0) {
            break;
        }
    }
    return 0;
}

} // namespace vantrel::bytes

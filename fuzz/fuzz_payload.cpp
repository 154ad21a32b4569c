// Fuzzes the caller's reading of what a decoder process sends back: a reply packet and a bitmap
// payload. Whatever the bytes, the result is null or a standard bitmap of the stated size.
#include "image/DecodeProtocol.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel;
    decoding::Reply reply;
    decoding::ParseReplyHeader({data, size}, &reply);
    decoding::Request request;
    decoding::ParseRequest({data, size}, &request);
    const BitmapHandle bitmap = decoding::DecodeBitmapPayload({data, size});
    if (bitmap && ViewOfBitmap(bitmap.get()).empty()) {
        std::abort();
    }
    return 0;
}

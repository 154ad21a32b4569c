#pragma once
// What the caller and the decoder process say to each other over one AF_UNIX SOCK_SEQPACKET
// socket: one request packet, one reply packet. Decoded pixels travel in a memfd passed with the
// reply, so a 12-megapixel image costs one copy in and one copy out, not a pipe transfer. The
// caller trusts nothing in a reply: every size and offset is checked before it is used.
#include "image/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::decoding {

// The decoder process finds its socket on this descriptor.
inline constexpr int kSocketDescriptor = 3;

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// Release tells the decoder that the caller has read the pixels of the last reply. Analyse runs
// one of the decoder's analyses of a file's bytes (its name in `analysis`); what it found comes
// back as a flat encoding in a memfd.
enum class RequestKind : std::uint32_t { Decode = 1, Size = 2, Release = 3, Analyse = 4 };
inline constexpr std::size_t kMaxAnalysisName = 64;

struct Request {
    RequestKind kind = RequestKind::Decode;
    // Pixels through a memfd instead of the caller reading the decoder's memory directly (for
    // systems that refuse process_vm_readv).
    bool sharedMemory = false;
    bool keepIndexed = false; // see DecodeOptions
    std::int64_t maxPixels = 0;
    std::string path;
    std::string analysis; // Analyse requests
};

struct Reply {
    bool ok = false;
    int width = 0;       // Size requests
    int height = 0;      // Size requests
    std::string message; // the one-line reason when not ok
    // A decoded bitmap comes either as a memfd holding its whole payload (owned by the reply)...
    int payload = -1;
    // ...or as the payload's head (header and metadata) with the address of its pixel rows in
    // the decoder's memory, valid until the caller sends Release.
    std::vector<std::uint8_t> head;
    std::uint64_t pixelAddress = 0;
    std::uint64_t pixelBytes = 0;
    // An Analyse reply read from the decoder's memory may lend a decoded bitmap's rows beside
    // its encoding (which then carries the bitmap's head alone), so that neither side copies
    // them into a message first.
    std::uint64_t rowsAddress = 0;
    std::uint64_t rowsBytes = 0;
    // The decoder asks to be replaced: libraries leak on broken files (libjxr does), and a warm
    // process must not grow without end.
    bool retire = false;
};

// Packet encoding; the parsers return false on anything malformed.
std::vector<std::uint8_t> EncodeRequest(const Request& request);
bool ParseRequest(std::span<const std::uint8_t> packet, Request* request);
std::vector<std::uint8_t> EncodeReplyHeader(const Reply& reply);
bool ParseReplyHeader(std::span<const std::uint8_t> packet, Reply* reply);

// A standard 24/32-bit bitmap (or a 1/4/8-bit one with its palette) with its resolution, ICC
// profile and metadata as one flat buffer (a head, then the pixel rows as FreeImage stores them),
// and back. Every field is checked on the way back; anything inconsistent gives null.
std::vector<std::uint8_t> EncodePayloadHead(const FIBITMAP* bitmap); // empty: not standard
std::uint64_t BitmapPixelBytes(const FIBITMAP* bitmap);
std::size_t BitmapPayloadSize(const FIBITMAP* bitmap);
bool EncodeBitmapPayload(const FIBITMAP* bitmap, std::span<std::uint8_t> out);
BitmapHandle DecodeBitmapPayload(std::span<const std::uint8_t> payload);
// The bitmap a head describes, with metadata but its `pixelBytes` of rows not yet filled (in
// large pages: the caller fills them at once).
BitmapHandle BitmapFromPayloadHead(std::span<const std::uint8_t> head, std::uint64_t pixelBytes);
// The same over rows already read (which it takes); null as above when they do not fit the head.
BitmapHandle BitmapOverPayloadHead(std::span<const std::uint8_t> head, PixelMemory rows);

// Fills the bitmap's rows from another process's memory; false (with errno in `failure`) when
// the system refuses or the address is wrong.
bool ReadRemotePixels(int processId, std::uint64_t address, FIBITMAP* bitmap, int* failure);
bool ReadRemoteBytes(int processId, std::uint64_t address, std::span<std::uint8_t> out,
                     int* failure);

// The payload in a new memfd (-1 on failure), and back from one.
int WriteBitmapToMemfd(const FIBITMAP* bitmap);
BitmapHandle ReadBitmapFromMemfd(int descriptor);

// An analysis's encoding in a new memfd (-1 on failure), sealed against any later change, and
// back from one: false when the memfd holds more than `maxBytes`.
int WriteBytesToMemfd(std::span<const std::uint8_t> bytes);
bool ReadBytesFromMemfd(int descriptor, std::uint64_t maxBytes, std::vector<std::uint8_t>* bytes);

// An analysis's encoding as the caller holds it: the memfd's pages mapped in place when the
// decoder sealed it (then no one, the decoder included, can change the bytes under the checks
// that read them), else a copy. A 24-megapixel file's inputs are some 150 MB, whose copy into
// fresh pages would cost as much as a decode.
class ReplyBytes {
public:
    ReplyBytes() = default;
    ReplyBytes(ReplyBytes&& other) noexcept;
    ReplyBytes& operator=(ReplyBytes&& other) noexcept;
    ~ReplyBytes();
    // False when the memfd holds more than `maxBytes` or cannot be read.
    bool read(int descriptor, std::uint64_t maxBytes);
    // The bytes copied out of the decoder's own memory, as its pixels are (a copy of its own,
    // which the sender cannot change): false as ReadRemoteBytes.
    // Lent rows (`rowsBytes` > 0) are read into memory of their own, for takeRows.
    bool readRemote(int processId, std::uint64_t address, std::uint64_t size, int* failure,
                    std::uint64_t rowsAddress = 0, std::uint64_t rowsBytes = 0);
    std::span<const std::uint8_t> bytes() const;
    // The rows lent beside the bytes, once; empty when none were.
    PixelMemory takeRows();

private:
    void unmap();
    const std::uint8_t* mapped_ = nullptr;
    std::size_t mappedSize_ = 0;
    std::vector<std::uint8_t> copy_;
    PixelMemory remote_;
    PixelMemory rows_;
};

// Socket I/O. Send never raises SIGPIPE; a descriptor >= 0 travels with the packet.
bool SendPacket(int socket, std::span<const std::uint8_t> packet, int descriptor = -1);
// Receives one packet (up to kMaxPacket bytes) and at most one descriptor (-1 when none; any
// extra descriptors are closed). Returns the byte count, 0 at end of stream, -1 on error.
inline constexpr std::size_t kMaxPacket = 64 * 1024;
long ReceivePacket(int socket, std::vector<std::uint8_t>* packet, int* descriptor);

} // namespace vantrel::decoding

#include "image/DecodeProtocol.h"

#include "image/Wire.h"

#include <FreeImage.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

namespace vantrel::decoding {
namespace {

constexpr std::uint32_t kRequestMagic = 0x56524551; // "VREQ"
constexpr std::uint32_t kReplyMagic = 0x56524550;   // "VREP"
constexpr std::uint32_t kPayloadMagic = 0x5650584C; // "VPXL"
constexpr std::size_t kMaxPathBytes = kMaxPacket - 64 - 4 - kMaxAnalysisName;
constexpr std::size_t kMaxMessageBytes = 4096;
constexpr std::size_t kPixelAlignment = 64;

using wire::Reader;
using wire::Writer;

struct PayloadHeader {
    std::uint32_t magic = kPayloadMagic;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t pitch = 0;
    std::uint32_t dotsPerMeterX = 0;
    std::uint32_t dotsPerMeterY = 0;
    std::uint16_t paletteEntries = 0;     // 2^bits for palette and grey bitmaps, 0 otherwise
    std::uint16_t transparentEntries = 0; // of the palette's transparency table
    std::uint64_t metadataBytes = 0;
    std::uint64_t iccBytes = 0;
    std::uint64_t pixelOffset = 0;
};

// Standard bitmaps, and palette ones for callers that keep them: what LoadImageFile promises.
bool IsTransferable(std::uint64_t bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32;
}

bool IsTransferableBitmap(FIBITMAP* bitmap) {
    return FreeImage_GetImageType(bitmap) == FIT_BITMAP &&
           IsTransferable(FreeImage_GetBPP(bitmap)) && FreeImage_HasPixels(bitmap) &&
           FreeImage_GetWidth(bitmap) > 0 && FreeImage_GetHeight(bitmap) > 0;
}

// Every tag of every metadata model, each as model, id, type, count, key, description, value.
std::vector<std::uint8_t> EncodeMetadata(FIBITMAP* bitmap) {
    std::vector<std::uint8_t> out;
    Writer writer(out);
    for (int model = FIMD_COMMENTS; model <= FIMD_EXIF_RAW; ++model) {
        FITAG* tag = nullptr;
        FIMETADATA* search =
            FreeImage_FindFirstMetadata(static_cast<FREE_IMAGE_MDMODEL>(model), bitmap, &tag);
        if (search == nullptr) {
            continue;
        }
        do {
            const char* key = FreeImage_GetTagKey(tag);
            const char* description = FreeImage_GetTagDescription(tag);
            const std::uint32_t keyBytes = key ? static_cast<std::uint32_t>(std::strlen(key)) : 0;
            const std::uint32_t descriptionBytes =
                description ? static_cast<std::uint32_t>(std::strlen(description)) : 0;
            const std::uint32_t valueBytes = FreeImage_GetTagLength(tag);
            const void* value = FreeImage_GetTagValue(tag);
            writer.put<std::int32_t>(model);
            writer.put<std::uint16_t>(FreeImage_GetTagID(tag));
            writer.put<std::uint16_t>(static_cast<std::uint16_t>(FreeImage_GetTagType(tag)));
            writer.put<std::uint32_t>(FreeImage_GetTagCount(tag));
            writer.put<std::uint32_t>(keyBytes);
            writer.put<std::uint32_t>(descriptionBytes);
            writer.put<std::uint32_t>(value ? valueBytes : 0);
            writer.putBytes(key, keyBytes);
            writer.putBytes(description, descriptionBytes);
            if (value) {
                writer.putBytes(value, valueBytes);
            }
        } while (FreeImage_FindNextMetadata(search, &tag));
        FreeImage_FindCloseMetadata(search);
    }
    return out;
}

// Tags that FreeImage refuses (a count that does not match the type) and tags with no key or no
// value are dropped, not fatal: only a broken encoding refuses the image.
bool DecodeMetadata(std::span<const std::uint8_t> bytes, FIBITMAP* bitmap) {
    Reader reader(bytes);
    while (reader.ok() && !reader.atEnd()) {
        const auto model = reader.get<std::int32_t>();
        const auto id = reader.get<std::uint16_t>();
        const auto type = reader.get<std::uint16_t>();
        const auto count = reader.get<std::uint32_t>();
        const auto keyBytes = reader.get<std::uint32_t>();
        const auto descriptionBytes = reader.get<std::uint32_t>();
        const auto valueBytes = reader.get<std::uint32_t>();
        const std::string key = reader.getString(keyBytes);
        const std::string description = reader.getString(descriptionBytes);
        const auto value = reader.getBytes(valueBytes);
        if (!reader.ok() || model < FIMD_COMMENTS || model > FIMD_EXIF_RAW) {
            return false;
        }
        // A camera's maker note may hold a tag of no bytes (Olympus 0x2001 does): it carries
        // nothing to copy, and refusing it would refuse the whole image.
        if (key.empty() || key.find('\0') != std::string::npos || valueBytes == 0) {
            continue;
        }
        FITAG* tag = FreeImage_CreateTag();
        if (tag == nullptr) {
            return false;
        }
        const bool made =
            FreeImage_SetTagKey(tag, key.c_str()) &&
            FreeImage_SetTagDescription(tag, description.c_str()) && FreeImage_SetTagID(tag, id) &&
            FreeImage_SetTagType(tag, static_cast<FREE_IMAGE_MDTYPE>(type)) &&
            FreeImage_SetTagCount(tag, count) && FreeImage_SetTagLength(tag, valueBytes) &&
            FreeImage_SetTagValue(tag, value.data());
        if (made) {
            FreeImage_SetMetadata(static_cast<FREE_IMAGE_MDMODEL>(model), bitmap, key.c_str(), tag);
        }
        FreeImage_DeleteTag(tag);
    }
    return reader.ok();
}

std::uint64_t PaletteBytes(const PayloadHeader& header) {
    return std::uint64_t{header.paletteEntries} * 4 + header.transparentEntries;
}

std::uint64_t PixelOffset(const PayloadHeader& header) {
    const std::uint64_t end =
        sizeof(PayloadHeader) + header.metadataBytes + header.iccBytes + PaletteBytes(header);
    return (end + kPixelAlignment - 1) / kPixelAlignment * kPixelAlignment;
}

std::uint64_t StandardPitch(std::uint64_t width, std::uint64_t bitsPerPixel) {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

} // namespace

std::vector<std::uint8_t> EncodeRequest(const Request& request) {
    std::vector<std::uint8_t> out;
    Writer writer(out);
    writer.put(kRequestMagic);
    writer.put(static_cast<std::uint32_t>(request.kind));
    writer.put<std::uint32_t>((request.sharedMemory ? 1 : 0) | (request.keepIndexed ? 2 : 0));
    writer.put(request.maxPixels);
    writer.put(static_cast<std::uint32_t>(request.path.size()));
    writer.putBytes(request.path.data(), request.path.size());
    writer.put(static_cast<std::uint32_t>(request.analysis.size()));
    writer.putBytes(request.analysis.data(), request.analysis.size());
    return out;
}

bool ParseRequest(std::span<const std::uint8_t> packet, Request* request) {
    Reader reader(packet);
    const auto magic = reader.get<std::uint32_t>();
    const auto kind = reader.get<std::uint32_t>();
    const auto flags = reader.get<std::uint32_t>();
    request->maxPixels = reader.get<std::int64_t>();
    const auto pathBytes = reader.get<std::uint32_t>();
    request->path = reader.getString(pathBytes);
    const auto analysisBytes = reader.get<std::uint32_t>();
    request->analysis = reader.getString(analysisBytes);
    request->kind = static_cast<RequestKind>(kind);
    request->sharedMemory = (flags & 1) != 0;
    request->keepIndexed = (flags & 2) != 0;
    return reader.atEnd() && magic == kRequestMagic &&
           kind >= static_cast<std::uint32_t>(RequestKind::Decode) &&
           kind <= static_cast<std::uint32_t>(RequestKind::Analyse) && flags <= 3 &&
           pathBytes <= kMaxPathBytes && analysisBytes <= kMaxAnalysisName;
}

std::vector<std::uint8_t> EncodeReplyHeader(const Reply& reply) {
    std::vector<std::uint8_t> out;
    Writer writer(out);
    const std::string message = reply.message.substr(0, kMaxMessageBytes);
    writer.put(kReplyMagic);
    writer.put<std::uint32_t>((reply.ok ? 1 : 0) | (reply.retire ? 2 : 0));
    writer.put<std::int32_t>(reply.width);
    writer.put<std::int32_t>(reply.height);
    writer.put(reply.pixelAddress);
    writer.put(reply.pixelBytes);
    writer.put(reply.rowsAddress);
    writer.put(reply.rowsBytes);
    writer.put(static_cast<std::uint32_t>(message.size()));
    writer.put(static_cast<std::uint32_t>(reply.head.size()));
    writer.putBytes(message.data(), message.size());
    writer.putBytes(reply.head.data(), reply.head.size());
    return out;
}

bool ParseReplyHeader(std::span<const std::uint8_t> packet, Reply* reply) {
    Reader reader(packet);
    const auto magic = reader.get<std::uint32_t>();
    const auto ok = reader.get<std::uint32_t>();
    reply->width = reader.get<std::int32_t>();
    reply->height = reader.get<std::int32_t>();
    reply->pixelAddress = reader.get<std::uint64_t>();
    reply->pixelBytes = reader.get<std::uint64_t>();
    reply->rowsAddress = reader.get<std::uint64_t>();
    reply->rowsBytes = reader.get<std::uint64_t>();
    const auto messageBytes = reader.get<std::uint32_t>();
    const auto headBytes = reader.get<std::uint32_t>();
    reply->message = reader.getString(messageBytes);
    const auto head = reader.getBytes(headBytes);
    reply->head.assign(head.begin(), head.end());
    reply->ok = (ok & 1) != 0;
    reply->retire = (ok & 2) != 0;
    return reader.atEnd() && magic == kReplyMagic && ok <= 3 && reply->width >= 0 &&
           reply->height >= 0;
}

std::vector<std::uint8_t> EncodePayloadHead(const FIBITMAP* constBitmap) {
    auto* bitmap = const_cast<FIBITMAP*>(constBitmap);
    if (bitmap == nullptr || !IsTransferableBitmap(bitmap)) {
        return {};
    }
    const std::vector<std::uint8_t> metadata = EncodeMetadata(bitmap);
    const FIICCPROFILE* icc = FreeImage_GetICCProfile(bitmap);
    PayloadHeader header;
    header.bitsPerPixel = FreeImage_GetBPP(bitmap);
    header.width = FreeImage_GetWidth(bitmap);
    header.height = FreeImage_GetHeight(bitmap);
    header.pitch = FreeImage_GetPitch(bitmap);
    header.dotsPerMeterX = FreeImage_GetDotsPerMeterX(bitmap);
    header.dotsPerMeterY = FreeImage_GetDotsPerMeterY(bitmap);
    header.metadataBytes = metadata.size();
    header.iccBytes = icc && icc->data ? icc->size : 0;
    if (header.bitsPerPixel <= 8) {
        header.paletteEntries = static_cast<std::uint16_t>(1u << header.bitsPerPixel);
        header.transparentEntries = static_cast<std::uint16_t>(
            FreeImage_IsTransparent(bitmap)
                ? std::min(FreeImage_GetTransparencyCount(bitmap), 1u << header.bitsPerPixel)
                : 0);
    }
    header.pixelOffset = PixelOffset(header);
    std::vector<std::uint8_t> head;
    Writer writer(head);
    writer.put(header);
    writer.putBytes(metadata.data(), metadata.size());
    writer.putBytes(header.iccBytes > 0 ? icc->data : nullptr, header.iccBytes);
    writer.putBytes(FreeImage_GetPalette(bitmap), std::size_t{header.paletteEntries} * 4);
    writer.putBytes(FreeImage_GetTransparencyTable(bitmap), header.transparentEntries);
    head.resize(header.pixelOffset);
    return head;
}

std::uint64_t BitmapPixelBytes(const FIBITMAP* bitmap) {
    auto* mutableBitmap = const_cast<FIBITMAP*>(bitmap);
    return std::uint64_t{FreeImage_GetPitch(mutableBitmap)} * FreeImage_GetHeight(mutableBitmap);
}

std::size_t BitmapPayloadSize(const FIBITMAP* bitmap) {
    const std::vector<std::uint8_t> head = EncodePayloadHead(bitmap);
    return head.empty() ? 0 : static_cast<std::size_t>(head.size() + BitmapPixelBytes(bitmap));
}

bool EncodeBitmapPayload(const FIBITMAP* bitmap, std::span<std::uint8_t> out) {
    const std::vector<std::uint8_t> head = EncodePayloadHead(bitmap);
    const std::uint64_t pixelBytes = head.empty() ? 0 : BitmapPixelBytes(bitmap);
    if (head.empty() || head.size() + pixelBytes != out.size()) {
        return false;
    }
    std::memcpy(out.data(), head.data(), head.size());
    // FreeImage keeps the rows of one bitmap contiguous, bottom row first.
    std::memcpy(out.data() + head.size(), FreeImage_GetBits(const_cast<FIBITMAP*>(bitmap)),
                pixelBytes);
    return true;
}

namespace {

// The bitmap a checked head describes, over `rows` when given, else over new zeroed rows.
BitmapHandle BitmapFromHead(std::span<const std::uint8_t> head, std::uint64_t pixelBytes,
                            PixelMemory* rows) {
    PayloadHeader header;
    if (head.size() < sizeof header) {
        return nullptr;
    }
    std::memcpy(&header, head.data(), sizeof header);
    const std::uint64_t size = head.size();
    const std::uint32_t paletteEntries = header.bitsPerPixel <= 8 ? 1u << header.bitsPerPixel : 0;
    if (header.magic != kPayloadMagic || !IsTransferable(header.bitsPerPixel) ||
        header.paletteEntries != paletteEntries || header.transparentEntries > paletteEntries ||
        header.width == 0 || header.height == 0 ||
        header.width > std::numeric_limits<std::int32_t>::max() ||
        header.height > std::numeric_limits<std::int32_t>::max() || header.metadataBytes > size ||
        header.iccBytes > size || header.pixelOffset != PixelOffset(header) ||
        header.pixelOffset != size ||
        header.pitch != StandardPitch(header.width, header.bitsPerPixel) ||
        pixelBytes / header.pitch != header.height || pixelBytes % header.pitch != 0) {
        return nullptr;
    }
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);
    const int bitsPerPixel = static_cast<int>(header.bitsPerPixel);
    BitmapHandle bitmap = rows != nullptr
                              ? BitmapOverMemory(width, height, bitsPerPixel, std::move(*rows))
                              : AllocateZeroedBitmap(width, height, bitsPerPixel);
    if (!bitmap || FreeImage_GetPitch(bitmap.get()) != header.pitch) {
        return nullptr;
    }
    FreeImage_SetDotsPerMeterX(bitmap.get(), header.dotsPerMeterX);
    FreeImage_SetDotsPerMeterY(bitmap.get(), header.dotsPerMeterY);
    if (!DecodeMetadata(head.subspan(sizeof header, header.metadataBytes), bitmap.get())) {
        return nullptr;
    }
    if (header.paletteEntries > 0) {
        const std::uint8_t* palette =
            head.data() + sizeof header + header.metadataBytes + header.iccBytes;
        std::memcpy(FreeImage_GetPalette(bitmap.get()), palette,
                    std::size_t{header.paletteEntries} * 4);
        if (header.transparentEntries > 0) {
            FreeImage_SetTransparencyTable(bitmap.get(),
                                           const_cast<std::uint8_t*>(palette) +
                                               std::size_t{header.paletteEntries} * 4,
                                           static_cast<int>(header.transparentEntries));
        }
    }
    if (header.iccBytes > 0 &&
        header.iccBytes <= std::uint64_t{std::numeric_limits<std::int32_t>::max()}) {
        auto* icc = const_cast<std::uint8_t*>(head.data() + sizeof header + header.metadataBytes);
        FreeImage_CreateICCProfile(bitmap.get(), icc, static_cast<long>(header.iccBytes));
    }
    return bitmap;
}

} // namespace

BitmapHandle BitmapFromPayloadHead(std::span<const std::uint8_t> head, std::uint64_t pixelBytes) {
    return BitmapFromHead(head, pixelBytes, nullptr);
}

BitmapHandle BitmapOverPayloadHead(std::span<const std::uint8_t> head, PixelMemory rows) {
    return BitmapFromHead(head, rows.size(), &rows);
}

BitmapHandle DecodeBitmapPayload(std::span<const std::uint8_t> payload) {
    PayloadHeader header;
    if (payload.size() < sizeof header) {
        return nullptr;
    }
    std::memcpy(&header, payload.data(), sizeof header);
    if (header.pixelOffset > payload.size()) {
        return nullptr;
    }
    const auto head = payload.first(static_cast<std::size_t>(header.pixelOffset));
    const auto pixels = payload.subspan(static_cast<std::size_t>(header.pixelOffset));
    BitmapHandle bitmap = BitmapFromPayloadHead(head, pixels.size());
    if (bitmap) {
        std::memcpy(FreeImage_GetBits(bitmap.get()), pixels.data(), pixels.size());
    }
    return bitmap;
}

bool ReadRemotePixels(int processId, std::uint64_t address, FIBITMAP* bitmap, int* failure) {
    return ReadRemoteBytes(
        processId, address,
        {FreeImage_GetBits(bitmap), static_cast<std::size_t>(BitmapPixelBytes(bitmap))}, failure);
}

bool ReadRemoteBytes(int processId, std::uint64_t address, std::span<std::uint8_t> out,
                     int* failure) {
    std::size_t done = 0;
    while (done < out.size()) {
        iovec local{out.data() + done, out.size() - done};
        iovec remote{reinterpret_cast<void*>(static_cast<std::uintptr_t>(address + done)),
                     out.size() - done};
        const ssize_t read = process_vm_readv(processId, &local, 1, &remote, 1, 0);
        if (read <= 0) {
            *failure = read < 0 ? errno : EFAULT;
            return false;
        }
        done += static_cast<std::size_t>(read);
    }
    return true;
}

int WriteBitmapToMemfd(const FIBITMAP* bitmap) {
    const std::size_t size = BitmapPayloadSize(bitmap);
    if (size == 0) {
        return -1;
    }
    const int descriptor = memfd_create("vantrel-decoded", MFD_CLOEXEC);
    if (descriptor < 0) {
        return -1;
    }
    if (ftruncate(descriptor, static_cast<off_t>(size)) != 0) {
        close(descriptor);
        return -1;
    }
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (mapped == MAP_FAILED) {
        close(descriptor);
        return -1;
    }
    const bool written = EncodeBitmapPayload(bitmap, {static_cast<std::uint8_t*>(mapped), size});
    munmap(mapped, size);
    if (!written) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

BitmapHandle ReadBitmapFromMemfd(int descriptor) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || status.st_size <= 0) {
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, descriptor, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    BitmapHandle bitmap = DecodeBitmapPayload({static_cast<const std::uint8_t*>(mapped), size});
    munmap(mapped, size);
    return bitmap;
}

int WriteBytesToMemfd(std::span<const std::uint8_t> bytes) {
    const int descriptor = memfd_create("vantrel-analysis", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (descriptor < 0) {
        return -1;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            close(descriptor);
            return -1;
        }
        done += static_cast<std::size_t>(written);
    }
    // Unsealed, the caller copies the bytes instead of mapping them: still correct, only slower.
    fcntl(descriptor, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return descriptor;
}

ReplyBytes::ReplyBytes(ReplyBytes&& other) noexcept
    : mapped_(std::exchange(other.mapped_, nullptr)),
      mappedSize_(std::exchange(other.mappedSize_, 0)), copy_(std::move(other.copy_)),
      remote_(std::move(other.remote_)), rows_(std::move(other.rows_)) {}

ReplyBytes& ReplyBytes::operator=(ReplyBytes&& other) noexcept {
    if (this != &other) {
        unmap();
        mapped_ = std::exchange(other.mapped_, nullptr);
        mappedSize_ = std::exchange(other.mappedSize_, 0);
        copy_ = std::move(other.copy_);
        remote_ = std::move(other.remote_);
        rows_ = std::move(other.rows_);
    }
    return *this;
}

ReplyBytes::~ReplyBytes() {
    unmap();
}

void ReplyBytes::unmap() {
    if (mapped_ != nullptr) {
        munmap(const_cast<std::uint8_t*>(mapped_), mappedSize_);
        mapped_ = nullptr;
        mappedSize_ = 0;
    }
}

bool ReplyBytes::readRemote(int processId, std::uint64_t address, std::uint64_t size, int* failure,
                            std::uint64_t rowsAddress, std::uint64_t rowsBytes) {
    unmap();
    copy_.clear();
    rows_ = PixelMemory();
    const auto readInto = [&](PixelMemory& memory, std::uint64_t from, std::uint64_t bytes) {
        memory = PixelMemory(static_cast<std::size_t>(bytes));
        if (memory.size() != bytes) {
            *failure = ENOMEM;
            return false;
        }
        if (!ReadRemoteBytes(processId, from, {memory.data(), memory.size()}, failure)) {
            memory = PixelMemory();
            return false;
        }
        return true;
    };
    return readInto(remote_, address, size) &&
           (rowsBytes == 0 || readInto(rows_, rowsAddress, rowsBytes));
}

PixelMemory ReplyBytes::takeRows() {
    return std::move(rows_);
}

bool ReplyBytes::read(int descriptor, std::uint64_t maxBytes) {
    unmap();
    copy_.clear();
    remote_ = PixelMemory();
    rows_ = PixelMemory();
    constexpr int kFixed = F_SEAL_SHRINK | F_SEAL_WRITE;
    const int seals = fcntl(descriptor, F_GET_SEALS);
    struct stat status {};
    if (seals < 0 || (seals & kFixed) != kFixed || fstat(descriptor, &status) != 0 ||
        status.st_size <= 0 || static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        return ReadBytesFromMemfd(descriptor, maxBytes, &copy_);
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    void* data = mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, descriptor, 0);
    if (data == MAP_FAILED) {
        return ReadBytesFromMemfd(descriptor, maxBytes, &copy_);
    }
    mapped_ = static_cast<const std::uint8_t*>(data);
    mappedSize_ = size;
    return true;
}

std::span<const std::uint8_t> ReplyBytes::bytes() const {
    if (remote_.size() > 0) {
        return {remote_.data(), remote_.size()};
    }
    return mapped_ != nullptr ? std::span<const std::uint8_t>(mapped_, mappedSize_)
                              : std::span<const std::uint8_t>(copy_);
}

bool ReadBytesFromMemfd(int descriptor, std::uint64_t maxBytes, std::vector<std::uint8_t>* bytes) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || status.st_size < 0 ||
        static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        return false;
    }
    bytes->resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < bytes->size()) {
        const ssize_t got =
            pread(descriptor, bytes->data() + done, bytes->size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool SendPacket(int socket, std::span<const std::uint8_t> packet, int descriptor) {
    iovec part{const_cast<std::uint8_t*>(packet.data()), packet.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (descriptor >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
    }
    ssize_t sent = 0;
    do {
        sent = sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(packet.size());
}

long ReceivePacket(int socket, std::vector<std::uint8_t>* packet, int* descriptor) {
    *descriptor = -1;
    packet->resize(kMaxPacket);
    iovec part{packet->data(), packet->size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t received = 0;
    do {
        received = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (received < 0 && errno == EINTR);
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); received >= 0 && header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) {
            continue;
        }
        const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int passed = -1;
            std::memcpy(&passed, CMSG_DATA(header) + i * sizeof(int), sizeof passed);
            if (*descriptor < 0) {
                *descriptor = passed;
            } else {
                close(passed);
            }
        }
    }
    if (received < 0 || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0) {
        if (*descriptor >= 0) {
            close(*descriptor);
            *descriptor = -1;
        }
        packet->clear();
        return -1;
    }
    packet->resize(static_cast<std::size_t>(received));
    return received;
}

} // namespace vantrel::decoding

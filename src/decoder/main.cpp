// vantrel-decoder: decodes image files for Vantrel in a process of its own, so that a decoder
// that crashes or hangs on a hostile file costs one file, never the program. It serves requests
// on descriptor 3 (see image/DecodeProtocol.h) until the caller closes the socket.
#include "decoder/Analyses.h"
#include "decoder/DecodeFallbacks.h"
#include "decoder/Decoding.h"
#include "image/DecodeProtocol.h"

#include <FreeImage.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace vantrel;

void ApplyProcessLimits(std::int64_t memoryLimit) {
    // A crash here is expected now and then; it must not leave core files behind.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // AddressSanitizer maps terabytes of shadow memory, so an address-space limit would stop
    // every decode there; sanitizer builds rely on the pixel limit and the caller's timeout.
    if (!decoding::kAddressSanitizer && memoryLimit > 0) {
        const rlimit space{static_cast<rlim_t>(memoryLimit), static_cast<rlim_t>(memoryLimit)};
        setrlimit(RLIMIT_AS, &space);
    }
}

// The caller's terminal is not the decoder's: nothing a library prints may mix with the
// caller's output (vantrel-cli writes results to stdout), and library chatter (libtiff prints
// dozens of warnings per file) must not reach the user. What matters travels back in the reply.
// VANTREL_DECODER_STDERR keeps stderr for debugging.
void DetachFromTerminal() {
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) {
        return;
    }
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    if (std::getenv("VANTREL_DECODER_STDERR") == nullptr) {
        dup2(null, STDERR_FILENO);
    }
    close(null);
}

// Resident memory past which this process asks to be replaced, not counting the bitmap it holds
// for the caller. AddressSanitizer keeps freed memory in quarantine, so it gets more room.
constexpr std::uint64_t kRetireResidentBytes =
    std::uint64_t{decoding::kAddressSanitizer ? 2048 : 512} << 20;

std::uint64_t ResidentBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long long size = 0;
    unsigned long long resident = 0;
    if (statm != nullptr) {
        if (std::fscanf(statm, "%llu %llu", &size, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// Replies can carry the payload head only up to this size; larger metadata goes by memfd.
constexpr std::size_t kMaxHeadInPacket = decoding::kMaxPacket - 8 * 1024;

// A decoded bitmap whose pixels the caller reads straight from this process's memory (a Decode
// reply's, or the rows lent beside an analysis); kept until the caller's next packet says it is
// done.
BitmapHandle held;
// The same for an analysis's encoding.
std::vector<std::uint8_t> heldAnalysis;

decoding::Reply Serve(const decoding::Request& request, int* payload) {
    decoding::Reply reply;
    DecodeOptions options;
    options.limits.maxPixels = request.maxPixels;
    options.keepIndexed = request.keepIndexed;
    if (request.kind == decoding::RequestKind::Analyse) {
        return ServeAnalysis(request, payload, heldAnalysis, held);
    }
    if (request.kind == decoding::RequestKind::Size) {
        const Size size = ReadImageSizeInProcess(request.path, &reply.message, options.limits,
                                                 DecodeWithFallbacks);
        reply.ok = size.width > 0 && size.height > 0;
        reply.width = size.width;
        reply.height = size.height;
        return reply;
    }
    BitmapHandle bitmap =
        DecodeImageInProcess(request.path, &reply.message, options, DecodeWithFallbacks);
    if (!bitmap) {
        return reply;
    }
    if (!request.sharedMemory) {
        reply.head = decoding::EncodePayloadHead(bitmap.get());
        if (!reply.head.empty() && reply.head.size() <= kMaxHeadInPacket) {
            reply.pixelAddress = reinterpret_cast<std::uintptr_t>(FreeImage_GetBits(bitmap.get()));
            reply.pixelBytes = decoding::BitmapPixelBytes(bitmap.get());
            reply.ok = true;
            held = std::move(bitmap);
            return reply;
        }
        reply.head.clear();
    }
    *payload = decoding::WriteBitmapToMemfd(bitmap.get());
    reply.ok = *payload >= 0;
    if (!reply.ok) {
        reply.message = "out of memory passing on the decoded " + request.path;
    }
    return reply;
}

} // namespace

int main(int argc, char** argv) {
    std::int64_t memoryLimit = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--memory-limit") == 0) {
            memoryLimit = std::strtoll(argv[i + 1], nullptr, 10);
        }
    }
    signal(SIGPIPE, SIG_IGN);
    ApplyProcessLimits(memoryLimit);
    DetachFromTerminal();

    std::vector<std::uint8_t> packet;
    for (;;) {
        int stray = -1;
        if (decoding::ReceivePacket(decoding::kSocketDescriptor, &packet, &stray) <= 0) {
            return 0; // the caller closed the socket (or is gone)
        }
        if (stray >= 0) {
            close(stray);
        }
        held.reset(); // whatever the packet, the caller is done with the last pixels
        heldAnalysis = {};
        decoding::Request request;
        decoding::Reply reply;
        int payload = -1;
        if (decoding::ParseRequest(packet, &request)) {
            if (request.kind == decoding::RequestKind::Release) {
                continue;
            }
            reply = Serve(request, &payload);
        } else {
            reply.message = "the image decoder received a malformed request";
        }
        const std::uint64_t lent =
            (held ? decoding::BitmapPixelBytes(held.get()) : 0) + heldAnalysis.size();
        reply.retire = ResidentBytes() > kRetireResidentBytes + lent;
        const bool sent = decoding::SendPacket(decoding::kSocketDescriptor,
                                               decoding::EncodeReplyHeader(reply), payload);
        if (payload >= 0) {
            close(payload);
        }
        if (!sent) {
            return 0;
        }
    }
}

#include "decoder/Analyses.h"

#include "jpeg/CoefficientsWire.h"
#include "jpeg/ReadCoefficients.h"
#include "passwords/GifColourTable.h"
#include "steghide/SteghideFileHead.h"
#include "structure/StructureWire.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <span>
#include <vector>

namespace vantrel {
namespace {

// The file's bytes, mapped read-only for as long as the analysis runs.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) {
            return;
        }
        struct stat status {};
        if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
            size_ = static_cast<std::size_t>(status.st_size);
            opened_ = true;
            if (size_ > 0) {
                void* data = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, descriptor, 0);
                data_ = data == MAP_FAILED ? nullptr : data;
                opened_ = data_ != nullptr;
            }
        }
        close(descriptor);
    }
    ~MappedFile() {
        if (data_ != nullptr) {
            munmap(data_, size_);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool opened() const { return opened_; }
    std::span<const std::uint8_t> bytes() const {
        return {static_cast<const std::uint8_t*>(data_), data_ == nullptr ? 0 : size_};
    }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
    bool opened_ = false;
};

Result<std::vector<std::uint8_t>> JpegCoefficientsOf(std::span<const std::uint8_t> file,
                                                     std::int64_t maxPixels) {
    JpegReadLimits limits;
    limits.maxPixels = static_cast<std::uint64_t>(maxPixels);
    const Result<JpegCoefficients> jpeg = ReadJpegCoefficients(file, limits);
    if (!jpeg) {
        return Failure(jpeg.error());
    }
    return EncodeJpegCoefficients(*jpeg);
}

Result<std::vector<std::uint8_t>> StructureOf(std::span<const std::uint8_t> file, std::int64_t) {
    const Result<structure::FileStructure> walked = structure::WalkStructure(file);
    if (!walked) {
        return Failure(walked.error());
    }
    return structure::EncodeStructure(*walked);
}

struct Analysis {
    const char* name;
    Result<std::vector<std::uint8_t>> (*run)(std::span<const std::uint8_t> file,
                                             std::int64_t maxPixels);
};

constexpr Analysis kAnalyses[] = {
    {kJpegCoefficientsAnalysis, JpegCoefficientsOf},
    {structure::kStructureAnalysis, StructureOf},
    {kSteghideFileHeadAnalysis, EncodeSteghideFileHead},
    {passwords::kGifColourTableAnalysis, passwords::EncodeGifColourTable},
};

} // namespace

decoding::Reply ServeAnalysis(const decoding::Request& request, int* payload) {
    decoding::Reply reply;
    const Analysis* analysis = nullptr;
    for (const Analysis& candidate : kAnalyses) {
        if (request.analysis == candidate.name) {
            analysis = &candidate;
        }
    }
    if (analysis == nullptr) {
        reply.message = "the image decoder has no analysis named " + request.analysis;
        return reply;
    }
    const MappedFile file(request.path);
    if (!file.opened()) {
        reply.message = "could not read " + request.path;
        return reply;
    }
    const Result<std::vector<std::uint8_t>> encoded =
        analysis->run(file.bytes(), request.maxPixels);
    if (!encoded) {
        reply.message = request.path + ": " + encoded.error();
        return reply;
    }
    *payload = decoding::WriteBytesToMemfd(*encoded);
    reply.ok = *payload >= 0;
    if (!reply.ok) {
        reply.message = "out of memory passing on the analysis of " + request.path;
    }
    return reply;
}

} // namespace vantrel

#include "decoder/Analyses.h"

#include "decoder/DecodeFallbacks.h"
#include "decoder/Decoding.h"
#include "jpeg/CoefficientsWire.h"
#include "jpeg/ReadCoefficients.h"
#include "passwords/F5stegoFormat.h"
#include "passwords/GifColourTable.h"
#include "steghide/SteghideFileHead.h"
#include "structure/StructureWire.h"
#include "verdict/FileInputsWire.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
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

// What an analysis is given: the file's bytes, mapped, and the request it answers.
struct AnalysisInput {
    std::span<const std::uint8_t> file;
    const decoding::Request& request;
};

Result<std::vector<std::uint8_t>> JpegCoefficientsOf(const AnalysisInput& input, bool keepPadding) {
    JpegReadLimits limits;
    limits.maxPixels = static_cast<std::uint64_t>(input.request.maxPixels);
    limits.keepPadding = keepPadding;
    const Result<JpegCoefficients> jpeg = ReadJpegCoefficients(input.file, limits);
    if (!jpeg) {
        return Failure(jpeg.error());
    }
    return EncodeJpegCoefficients(*jpeg);
}

Result<std::vector<std::uint8_t>> StructureOf(const AnalysisInput& input) {
    const Result<structure::FileStructure> walked = structure::WalkStructure(input.file);
    if (!walked) {
        return Failure(walked.error());
    }
    return structure::EncodeStructure(*walked);
}

Result<std::vector<std::uint8_t>> SteghideFileHeadOf(const AnalysisInput& input) {
    return EncodeSteghideFileHead(input.file, input.request.maxPixels);
}

Result<std::vector<std::uint8_t>> GifColourTableOf(const AnalysisInput& input) {
    return passwords::EncodeGifColourTable(input.file, input.request.maxPixels);
}

FileInputPart PartOf(const Result<std::vector<std::uint8_t>>& encoded) {
    if (!encoded) {
        const std::string& why = encoded.error();
        return {FileInputPart::State::Failed, std::vector<std::uint8_t>(why.begin(), why.end())};
    }
    return {FileInputPart::State::Encoded, *encoded};
}

// Every part a file's analyses need, from one mapping of the file and one decode: a JPEG's
// coefficients are read once here for every analysis that uses them.
Result<std::vector<std::uint8_t>> FileInputsOf(const AnalysisInput& input) {
    std::array<FileInputPart, kFileInputCount> parts;
    parts[static_cast<std::size_t>(FileInput::Structure)] = PartOf(StructureOf(input));
    const auto file = input.file;
    if (file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF) {
        parts[static_cast<std::size_t>(FileInput::Coefficients)] =
            PartOf(JpegCoefficientsOf(input, false));
    }
    parts[static_cast<std::size_t>(FileInput::SteghideHead)] = PartOf(SteghideFileHeadOf(input));
    DecodeOptions options;
    options.limits.maxPixels = input.request.maxPixels;
    options.keepIndexed = true; // palette indices for the bit layouts and steghide's BMP cover
    std::string error;
    const BitmapHandle bitmap =
        DecodeImageInProcess(input.request.path, &error, options, DecodeWithFallbacks);
    FileInputPart& pixels = parts[static_cast<std::size_t>(FileInput::Pixels)];
    std::size_t pixelBytes = 0;
    if (bitmap && (pixelBytes = decoding::BitmapPayloadSize(bitmap.get())) > 0) {
        pixels.state = FileInputPart::State::Encoded;
    } else {
        pixels = PartOf(Failure(error.empty() ? "Could not decode " + input.request.path : error));
    }
    bool filled = true;
    std::vector<std::uint8_t> out =
        EncodeFileInputs(parts, pixelBytes, [&](std::span<std::uint8_t> place) {
            filled = decoding::EncodeBitmapPayload(bitmap.get(), place);
        });
    if (!filled) {
        return Failure("could not pass on the decoded pixels");
    }
    return out;
}

struct Analysis {
    const char* name;
    Result<std::vector<std::uint8_t>> (*run)(const AnalysisInput& input);
};

constexpr Analysis kAnalyses[] = {
    {kJpegCoefficientsAnalysis,
     [](const AnalysisInput& input) { return JpegCoefficientsOf(input, false); }},
    // f5stegojs shuffles the padding blocks of an interleaved file too.
    {passwords::kF5stegoCoefficientsAnalysis,
     [](const AnalysisInput& input) { return JpegCoefficientsOf(input, true); }},
    {structure::kStructureAnalysis, StructureOf},
    {kSteghideFileHeadAnalysis, SteghideFileHeadOf},
    {passwords::kGifColourTableAnalysis, GifColourTableOf},
    {kFileInputsAnalysis, FileInputsOf},
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
        analysis->run(AnalysisInput{file.bytes(), request});
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

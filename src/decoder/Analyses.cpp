#include "decoder/Analyses.h"

#include "bytes/FormatSniff.h"
#include "decoder/DecodeFallbacks.h"
#include "decoder/Decoding.h"
#include "jpeg/CoefficientsWire.h"
#include "jpeg/ReadCoefficients.h"
#include "passwords/F5stegoFormat.h"
#include "passwords/GifColourTable.h"
#include "steghide/SteghideFileHead.h"
#include "structure/StructureWire.h"
#include "verdict/FileInputsWire.h"

#include <FreeImage.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <future>
#include <optional>
#include <span>
#include <system_error>
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
    // Where a bitmap's rows are kept for the caller to read from this process's memory; null
    // when they must travel inside the encoding (a memfd).
    BitmapHandle* lentRows = nullptr;
};

Result<JpegCoefficients> ReadCoefficientsOf(const AnalysisInput& input, bool keepPadding) {
    JpegReadLimits limits;
    limits.maxPixels = static_cast<std::uint64_t>(input.request.maxPixels);
    limits.keepPadding = keepPadding;
    return ReadJpegCoefficients(input.file, limits);
}

Result<std::vector<std::uint8_t>> JpegCoefficientsOf(const AnalysisInput& input, bool keepPadding) {
    const Result<JpegCoefficients> jpeg = ReadCoefficientsOf(input, keepPadding);
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

FileInputPart PartOf(Result<std::vector<std::uint8_t>>&& encoded) {
    FileInputPart part;
    if (!encoded) {
        const std::string& why = encoded.error();
        part.state = FileInputPart::State::Failed;
        part.bytes.assign(why.begin(), why.end());
    } else {
        part.state = FileInputPart::State::Encoded;
        part.bytes = std::move(*encoded);
    }
    return part;
}

// Every part a file's analyses need, from one mapping of the file and one decode: a JPEG's
// coefficients are read once here for every analysis that uses them. The coefficients and the
// pixels are encoded straight into the message.
Result<std::vector<std::uint8_t>> FileInputsOf(const AnalysisInput& input) {
    std::array<FileInputPart, kFileInputCount> parts;
    FileInputPart& structure = parts[static_cast<std::size_t>(FileInput::Structure)];
    // A JPEG is read twice, for its coefficients and for its pixels; any other file's walk
    // (a PNG's inflates its data a second time) is the second read. The two reads share nothing
    // but the mapped file, so they run side by side. A JPEG's walk stays on this thread: its
    // thumbnail check decodes through the same codec library as the pixels.
    const bool isJpeg = bytes::SniffFormat(input.file) == bytes::FileFormat::Jpeg;
    if (isJpeg) {
        structure = PartOf(StructureOf(input));
    }
    std::optional<Result<JpegCoefficients>> jpeg;
    const auto side = [&input, &structure, &jpeg, isJpeg] {
        if (isJpeg) {
            jpeg = ReadCoefficientsOf(input, false);
        } else {
            structure = PartOf(StructureOf(input));
        }
    };
    std::future<void> reading;
    try {
        reading = std::async(std::launch::async, side);
    } catch (const std::system_error&) { // no thread to spare: read after the pixels
        reading = std::async(std::launch::deferred, side);
    }
    parts[static_cast<std::size_t>(FileInput::SteghideHead)] = PartOf(SteghideFileHeadOf(input));
    DecodeOptions options;
    options.limits.maxPixels = input.request.maxPixels;
    options.keepIndexed = true; // palette indices for the bit layouts and steghide's BMP cover
    std::string error;
    BitmapHandle bitmap =
        DecodeImageInProcess(input.request.path, &error, options, DecodeWithFallbacks);
    reading.get();
    if (jpeg) {
        FileInputPart& coefficients = parts[static_cast<std::size_t>(FileInput::Coefficients)];
        if (*jpeg) {
            coefficients.state = FileInputPart::State::Encoded;
            coefficients.size = EncodedJpegCoefficientsSize(**jpeg);
            coefficients.append = [&](std::vector<std::uint8_t>& out) {
                AppendJpegCoefficients(**jpeg, out);
            };
        } else {
            coefficients = PartOf(Failure(jpeg->error()));
        }
    }
    FileInputPart& pixels = parts[static_cast<std::size_t>(FileInput::Pixels)];
    std::size_t pixelBytes = 0;
    bool filled = true;
    if (bitmap && input.lentRows != nullptr &&
        !(pixels.bytes = decoding::EncodePayloadHead(bitmap.get())).empty()) {
        // The rows stay where the codec wrote them: copying 72 MB of a 24-megapixel picture
        // into the message would cost fresh pages here and a second copy in the caller.
        pixels.state = FileInputPart::State::Encoded;
        *input.lentRows = std::move(bitmap);
    } else if (bitmap && (pixelBytes = decoding::BitmapPayloadSize(bitmap.get())) > 0) {
        pixels.state = FileInputPart::State::Encoded;
        pixels.size = pixelBytes;
        pixels.append = [&](std::vector<std::uint8_t>& out) {
            const std::size_t at = out.size();
            out.resize(at + pixelBytes);
            filled = decoding::EncodeBitmapPayload(
                bitmap.get(), std::span<std::uint8_t>(out.data() + at, pixelBytes));
        };
    } else {
        pixels = PartOf(Failure(error.empty() ? "Could not decode " + input.request.path : error));
    }
    std::vector<std::uint8_t> out = EncodeFileInputs(parts);
    if (!filled || out.empty()) {
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
    {passwords::kGifFrameTableAnalysis,
     [](const AnalysisInput& input) {
         return passwords::EncodeGifFrameTable(input.file, input.request.maxPixels);
     }},
    {kFileInputsAnalysis, FileInputsOf},
};

} // namespace

decoding::Reply ServeAnalysis(const decoding::Request& request, int* payload,
                              std::vector<std::uint8_t>& lent, BitmapHandle& lentRows) {
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
    BitmapHandle rows;
    Result<std::vector<std::uint8_t>> encoded =
        analysis->run(AnalysisInput{file.bytes(), request, request.sharedMemory ? nullptr : &rows});
    if (!encoded) {
        reply.message = request.path + ": " + encoded.error();
        return reply;
    }
    if (!request.sharedMemory) {
        lent = std::move(*encoded);
        reply.pixelAddress = reinterpret_cast<std::uintptr_t>(lent.data());
        reply.pixelBytes = lent.size();
        if (rows) {
            reply.rowsAddress = reinterpret_cast<std::uintptr_t>(FreeImage_GetBits(rows.get()));
            reply.rowsBytes = decoding::BitmapPixelBytes(rows.get());
            lentRows = std::move(rows);
        }
        reply.ok = true;
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

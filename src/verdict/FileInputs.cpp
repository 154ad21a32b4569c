#include "verdict/FileInputs.h"

#include "image/DecodeProtocol.h"
#include "jpeg/CoefficientsWire.h"
#include "structure/StructureWire.h"
#include "verdict/FileInputsWire.h"

#include <tbb/parallel_invoke.h>

namespace vantrel::verdict {
namespace {

// A part's checked decoding, or the decoder's reason for not sending it.
template <typename T, typename Decode>
Result<T> PartOf(const FileInputSpans& spans, FileInput part, const Decode& decode) {
    switch (spans.state[static_cast<std::size_t>(part)]) {
    case FileInputPart::State::Encoded:
        return decode(spans.bytes[static_cast<std::size_t>(part)]);
    case FileInputPart::State::Failed:
        return Failure(spans.text(part));
    case FileInputPart::State::Absent:
        break;
    }
    return Failure("not sent");
}

} // namespace

Result<FileInputs> LoadFileInputs(const std::string& path, const DecodeLimits& limits) {
    Result<decoding::ReplyBytes> reply = AnalyseInDecoderInPlace(path, kFileInputsAnalysis, limits);
    if (!reply) {
        return Failure(reply.error());
    }
    const Result<FileInputSpans> spans = SplitFileInputs(reply->bytes());
    if (!spans) {
        return Failure(path + ": " + spans.error());
    }
    FileInputs inputs;
    inputs.structure = PartOf<structure::FileStructure>(
        *spans, FileInput::Structure, [](auto b) { return structure::DecodeStructure(b); });
    inputs.steghideHead = PartOf<SteghideFileHead>(*spans, FileInput::SteghideHead, [](auto b) {
        return DecodeSteghideFileHead(std::vector<std::uint8_t>(b.begin(), b.end()));
    });
    // Rows lent beside the reply become the bitmap's own: the pixel part is then its head alone.
    PixelMemory rows = reply->takeRows();
    // The two large parts are decoded side by side: a 24-megapixel JPEG's coefficients are 70 MB
    // of fresh pages, and so are its pixels where they came inside the reply (a memfd).
    tbb::parallel_invoke(
        [&] {
            if (spans->state[static_cast<std::size_t>(FileInput::Coefficients)] !=
                FileInputPart::State::Absent) {
                inputs.coefficients =
                    PartOf<JpegCoefficients>(*spans, FileInput::Coefficients,
                                             [](auto b) { return DecodeJpegCoefficients(b); });
            }
        },
        [&] {
            inputs.pixels = PartOf<BitmapHandle>(
                *spans, FileInput::Pixels, [&path, &rows](auto b) -> Result<BitmapHandle> {
                    BitmapHandle bitmap = rows.size() > 0
                                              ? decoding::BitmapOverPayloadHead(b, std::move(rows))
                                              : decoding::DecodeBitmapPayload(b);
                    if (!bitmap) {
                        return Failure("the image decoder sent an unreadable bitmap for " + path);
                    }
                    return bitmap;
                });
        });
    return inputs;
}

} // namespace vantrel::verdict

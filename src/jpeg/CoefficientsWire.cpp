#include "jpeg/CoefficientsWire.h"

#include "image/Wire.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kMagic = 0x564A4346; // "VJCF"
constexpr std::uint64_t kMaxCommentBytes = 65533;
constexpr std::uint64_t kMinJpegBytes = 4;
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 40;

} // namespace

std::size_t EncodedJpegCoefficientsSize(const JpegCoefficients& jpeg) {
    std::size_t size = 4 + 4 + 4 + 1 + 4 + 4 + 4 + 4 + 8 + 8;
    size += jpeg.quantTables.size() * (1 + sizeof jpeg.quantTables[0]);
    for (const JpegComponent& c : jpeg.components) {
        size += 8 * 4 + 8 + c.coefficients.size() * sizeof(std::int16_t);
    }
    for (const std::string& comment : jpeg.comments) {
        size += 8 + comment.size();
    }
    return size;
}

std::vector<std::uint8_t> EncodeJpegCoefficients(const JpegCoefficients& jpeg) {
    std::vector<std::uint8_t> out;
    out.reserve(EncodedJpegCoefficientsSize(jpeg));
    AppendJpegCoefficients(jpeg, out);
    return out;
}

void AppendJpegCoefficients(const JpegCoefficients& jpeg, std::vector<std::uint8_t>& out) {
    wire::Writer writer(out);
    writer.put(kMagic);
    writer.put<std::int32_t>(jpeg.width);
    writer.put<std::int32_t>(jpeg.height);
    writer.put<std::uint8_t>(jpeg.progressive ? 1 : 0);
    writer.put<std::int32_t>(jpeg.maxHSampling);
    writer.put<std::int32_t>(jpeg.maxVSampling);
    for (std::size_t t = 0; t < jpeg.quantTables.size(); ++t) {
        writer.put<std::uint8_t>(jpeg.quantTablePresent[t] ? 1 : 0);
        writer.putBytes(jpeg.quantTables[t].data(), sizeof jpeg.quantTables[t]);
    }
    writer.put<std::uint32_t>(static_cast<std::uint32_t>(jpeg.components.size()));
    for (const JpegComponent& c : jpeg.components) {
        for (const int value : {c.id, c.hSampling, c.vSampling, c.quantTableIndex, c.widthInBlocks,
                                c.heightInBlocks, c.width, c.height}) {
            writer.put<std::int32_t>(value);
        }
        writer.putArray(std::span<const std::int16_t>(c.coefficients));
    }
    writer.put<std::uint32_t>(static_cast<std::uint32_t>(jpeg.comments.size()));
    for (const std::string& comment : jpeg.comments) {
        writer.putString(comment);
    }
    writer.put<std::uint64_t>(jpeg.trailerOffset);
    writer.put<std::uint64_t>(jpeg.trailerLength);
}

Result<JpegCoefficients> DecodeJpegCoefficients(std::span<const std::uint8_t> bytes) {
    wire::Reader reader(bytes);
    JpegCoefficients jpeg;
    const auto magic = reader.get<std::uint32_t>();
    jpeg.width = reader.get<std::int32_t>();
    jpeg.height = reader.get<std::int32_t>();
    jpeg.progressive = reader.get<std::uint8_t>() != 0;
    jpeg.maxHSampling = reader.get<std::int32_t>();
    jpeg.maxVSampling = reader.get<std::int32_t>();
    for (std::size_t t = 0; t < jpeg.quantTables.size(); ++t) {
        jpeg.quantTablePresent[t] = reader.get<std::uint8_t>() != 0;
        for (std::uint16_t& entry : jpeg.quantTables[t]) {
            entry = reader.get<std::uint16_t>();
        }
    }
    const auto count = reader.get<std::uint32_t>();
    const auto sampling = [](int value) { return value >= 1 && value <= 4; };
    bool valid = reader.ok() && magic == kMagic && count >= 1 && count <= 4 && jpeg.width > 0 &&
                 jpeg.height > 0 && sampling(jpeg.maxHSampling) && sampling(jpeg.maxVSampling);
    for (std::uint32_t i = 0; valid && i < count; ++i) {
        JpegComponent c;
        for (int* value : {&c.id, &c.hSampling, &c.vSampling, &c.quantTableIndex, &c.widthInBlocks,
                           &c.heightInBlocks, &c.width, &c.height}) {
            *value = reader.get<std::int32_t>();
        }
        c.coefficients = reader.getArray<std::int16_t>();
        // The shape every reader of the arrays relies on: whole blocks covering the component.
        valid = reader.ok() && sampling(c.hSampling) && sampling(c.vSampling) &&
                c.hSampling <= jpeg.maxHSampling && c.vSampling <= jpeg.maxVSampling &&
                c.quantTableIndex >= 0 && c.quantTableIndex < 4 &&
                jpeg.quantTablePresent[static_cast<std::size_t>(c.quantTableIndex)] &&
                c.width > 0 && c.height > 0 && c.widthInBlocks > 0 && c.heightInBlocks > 0 &&
                std::int64_t{c.widthInBlocks} * 8 >= c.width &&
                std::int64_t{c.heightInBlocks} * 8 >= c.height &&
                c.coefficients.size() == static_cast<std::size_t>(c.widthInBlocks) *
                                             static_cast<std::size_t>(c.heightInBlocks) * 64;
        jpeg.components.push_back(std::move(c));
    }
    // A COM segment holds at most 65533 bytes and takes at least 4 of the file, which bounds both
    // their number and the trailer's place by the size of the reply itself.
    const auto comments = valid ? reader.get<std::uint32_t>() : 0;
    valid = valid && reader.ok() && comments <= bytes.size() / 4;
    for (std::uint32_t i = 0; valid && i < comments; ++i) {
        const auto length = reader.get<std::uint64_t>();
        valid = reader.ok() && length <= kMaxCommentBytes;
        if (valid) {
            jpeg.comments.push_back(reader.getString(length));
        }
    }
    jpeg.trailerOffset = reader.get<std::uint64_t>();
    jpeg.trailerLength = reader.get<std::uint64_t>();
    // The smallest image is SOI, a frame, a scan and EOI; an offset past the largest file we
    // read, or a length wrapping it, is a broken reply.
    valid = valid && reader.ok() && jpeg.trailerOffset >= kMinJpegBytes &&
            jpeg.trailerOffset <= kMaxFileBytes &&
            jpeg.trailerLength <= kMaxFileBytes - jpeg.trailerOffset;
    if (!valid || !reader.atEnd()) {
        return Failure("the image decoder sent unreadable JPEG coefficients");
    }
    return jpeg;
}

} // namespace vantrel

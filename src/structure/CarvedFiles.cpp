#include "structure/CarvedFiles.h"

#include "bytes/ByteOrder.h"
#include "bytes/Crc32.h"

#include <fstream>

namespace vantrel::structure {

namespace {

constexpr std::uint64_t kIhdrOffset = 8; // after the signature
constexpr std::uint64_t kIhdrChunk = 25; // length, type, 13 bytes of header, CRC

} // namespace

Result<std::vector<std::uint8_t>> CarvedBytes(const std::string& path, const Carved& carved) {
    std::vector<std::uint8_t> bytes = carved.bytes;
    if (bytes.empty()) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
        // The extent came from another process: it must lie inside the file before we allocate.
        if (!in || carved.offset > static_cast<std::uint64_t>(size) ||
            carved.length > static_cast<std::uint64_t>(size) - carved.offset) {
            return Failure("could not read the carved bytes of " + path);
        }
        bytes.resize(static_cast<std::size_t>(carved.length));
        in.seekg(static_cast<std::streamoff>(carved.offset));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!in) {
            return Failure("could not read the carved bytes of " + path);
        }
    }
    if (Sha256Hex(bytes) != carved.sha256) {
        return Failure(path + " changed while it was read");
    }
    return bytes;
}

Result<std::uint64_t> SaveCarved(const std::string& path, const Carved& carved,
                                 const std::string& target) {
    const Result<std::vector<std::uint8_t>> bytes = CarvedBytes(path, carved);
    if (!bytes) {
        return Failure(bytes.error());
    }
    std::ofstream out(target, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes->data()),
              static_cast<std::streamsize>(bytes->size()));
    if (!out.flush()) {
        return Failure("could not write " + target);
    }
    return static_cast<std::uint64_t>(bytes->size());
}

Result<std::vector<std::uint8_t>> RepairedPng(std::span<const std::uint8_t> file,
                                              const FileStructure& walked) {
    if (walked.format != "png" || !walked.info.ihdrTrueSize) {
        return Failure("the walk found no true size to put back");
    }
    // The first chunk of the file, under the format's part.
    const Part* ihdr = nullptr;
    for (const Part& format : walked.parts) {
        for (const Part& part : format.children) {
            if (!ihdr && part.offset == kIhdrOffset && part.name.rfind("IHDR", 0) == 0) {
                ihdr = &part;
            }
        }
    }
    static constexpr std::uint8_t kType[] = {'I', 'H', 'D', 'R'};
    if (!ihdr || ihdr->length != kIhdrChunk || ihdr->offset > file.size() ||
        file.size() - ihdr->offset < kIhdrChunk ||
        !std::equal(kType, kType + 4,
                    file.begin() + static_cast<std::ptrdiff_t>(ihdr->offset + 4))) {
        return Failure("the file has no IHDR where its walk put it");
    }
    std::vector<std::uint8_t> repaired(file.begin(), file.end());
    std::uint8_t* chunk = repaired.data() + ihdr->offset;
    bytes::PutBe32(chunk + 8, walked.info.ihdrTrueSize->first);
    bytes::PutBe32(chunk + 12, walked.info.ihdrTrueSize->second);
    bytes::PutBe32(chunk + 21, bytes::Crc32(chunk + 4, 17));
    return repaired;
}

} // namespace vantrel::structure

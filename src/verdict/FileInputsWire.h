#pragma once
// What a file's analyses need, asked of the decoder process in one request (the "file-inputs"
// analysis) instead of one round trip each: the container walk, a JPEG's coefficients,
// steghide's file head and the decoded pixels (palette images as stored). Each part comes back
// as its own checked encoding or as the one-line reason it failed, so one part's failure leaves
// the others standing. Header-only: the decoder process composes it from the parts' own encoders.
#include "image/Result.h"
#include "image/Wire.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

inline constexpr const char* kFileInputsAnalysis = "file-inputs";

enum class FileInput : std::uint8_t {
    Structure = 0,
    Coefficients = 1,
    SteghideHead = 2,
    Pixels = 3
};
inline constexpr std::size_t kFileInputCount = 4;

// A part as the decoder sends it: its encoding, or why there is none. `absent` parts (the
// coefficients of a file that is not a JPEG) carry neither. The large parts (coefficients,
// pixels) are not held but written straight into their place in the message by `append`, which
// adds exactly `size` bytes: a copy of them, or a regrowth of the message, would cost as many
// fresh pages again.
struct FileInputPart {
    enum class State : std::uint8_t { Absent = 0, Encoded = 1, Failed = 2 };
    State state = State::Absent;
    std::vector<std::uint8_t> bytes; // the encoding, or the failure's text
    std::size_t size = 0;
    std::function<void(std::vector<std::uint8_t>&)> append;
};

// The whole message; empty when a part's `append` broke its word.
inline std::vector<std::uint8_t>
EncodeFileInputs(const std::array<FileInputPart, kFileInputCount>& parts) {
    std::size_t total = 4;
    for (const FileInputPart& part : parts) {
        total += 1 + 8 + (part.append ? part.size : part.bytes.size());
    }
    std::vector<std::uint8_t> out;
    out.reserve(total);
    wire::Writer writer(out);
    writer.put<std::uint32_t>(0x56464931); // "VFI1"
    for (const FileInputPart& part : parts) {
        writer.put<std::uint8_t>(static_cast<std::uint8_t>(part.state));
        if (part.append) {
            writer.put<std::uint64_t>(part.size);
            const std::size_t at = out.size();
            part.append(out);
            if (out.size() != at + part.size) {
                return {}; // no message rather than one whose parts run into each other
            }
        } else {
            writer.putArray<std::uint8_t>(part.bytes);
        }
    }
    return out;
}

// The caller's side: the parts as spans into `bytes`, every length checked.
struct FileInputSpans {
    std::array<FileInputPart::State, kFileInputCount> state{};
    std::array<std::span<const std::uint8_t>, kFileInputCount> bytes{};
    std::string text(FileInput part) const {
        const auto b = bytes[static_cast<std::size_t>(part)];
        return {reinterpret_cast<const char*>(b.data()), b.size()};
    }
};

inline Result<FileInputSpans> SplitFileInputs(std::span<const std::uint8_t> bytes) {
    wire::Reader reader(bytes);
    FileInputSpans spans;
    if (reader.get<std::uint32_t>() != 0x56464931) {
        return Failure("the decoder's file inputs are malformed");
    }
    for (std::size_t i = 0; i < kFileInputCount; ++i) {
        const auto state = reader.get<std::uint8_t>();
        const std::size_t count = reader.getCount(1);
        spans.bytes[i] = reader.getBytes(count);
        if (state > static_cast<std::uint8_t>(FileInputPart::State::Failed)) {
            reader.fail();
        }
        spans.state[i] = static_cast<FileInputPart::State>(state);
    }
    if (!reader.atEnd()) {
        return Failure("the decoder's file inputs are malformed");
    }
    return spans;
}

} // namespace vantrel

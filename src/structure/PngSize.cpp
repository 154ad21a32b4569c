#include "structure/PngSize.h"

#include "bytes/ByteOrder.h"
#include "bytes/Crc32.h"

namespace vantrel::structure::detail {

namespace {

using u128 = unsigned __int128;

int Channels(std::uint8_t colour) {
    switch (colour) {
    case 0:
    case 3:
        return 1;
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 0;
    }
}

} // namespace

bool DepthAllowed(std::uint8_t colour, std::uint8_t depth) {
    switch (colour) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

std::uint64_t NeededBytes(const PngHeader& h, std::uint64_t width, std::uint64_t height) {
    const u128 bits = u128(Channels(h.colour)) * h.depth;
    auto rows = [&](std::uint64_t w, std::uint64_t rowsCount) -> u128 {
        if (w == 0 || rowsCount == 0) {
            return 0;
        }
        return u128(rowsCount) * (1 + (u128(w) * bits + 7) / 8);
    };
    u128 total = 0;
    if (h.interlace == 0) {
        total = rows(width, height);
    } else {
        static constexpr int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& p : kPass) {
            const std::uint64_t w =
                width > std::uint64_t(p[0]) ? (width - p[0] + p[2] - 1) / p[2] : 0;
            const std::uint64_t r =
                height > std::uint64_t(p[1]) ? (height - p[1] + p[3] - 1) / p[3] : 0;
            total += rows(w, r);
        }
    }
    return total > u128(UINT64_MAX) ? UINT64_MAX : std::uint64_t(total);
}

std::uint64_t RowsIn(const PngHeader& h, std::uint64_t bytes) {
    std::uint64_t low = 0, high = 0x7FFFFFFF;
    while (low < high) {
        const std::uint64_t mid = low + (high - low + 1) / 2;
        if (NeededBytes(h, h.width, mid) <= bytes) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    return low;
}

// CRC-32 is affine over GF(2) in the message bits: with the other 13 bytes fixed, the 32 bits
// of one field map one-to-one onto the CRC, so the field's value follows from the stored CRC by
// solving a 32 x 32 system.
std::optional<std::uint32_t> SolveField(std::array<std::uint8_t, 17> message, int field,
                                        std::uint32_t stored) {
    bytes::PutBe32(message.data() + field, 0);
    const std::uint32_t base = bytes::Crc32(message.data(), 17);
    std::array<std::uint32_t, 32> pivotRow{};  // reduced CRC difference with this leading bit
    std::array<std::uint32_t, 32> pivotBits{}; // the field bits that make it
    std::array<bool, 32> used{};
    for (int bit = 0; bit < 32; ++bit) {
        bytes::PutBe32(message.data() + field, 1u << bit);
        std::uint32_t row = bytes::Crc32(message.data(), 17) ^ base, bits = 1u << bit;
        for (int lead = 31; lead >= 0 && row; --lead) {
            if (!(row >> lead & 1)) {
                continue;
            }
            if (!used[lead]) {
                used[lead] = true;
                pivotRow[lead] = row;
                pivotBits[lead] = bits;
                break;
            }
            row ^= pivotRow[lead];
            bits ^= pivotBits[lead];
        }
    }
    std::uint32_t target = stored ^ base, value = 0;
    for (int lead = 31; lead >= 0 && target; --lead) {
        if (!(target >> lead & 1)) {
            continue;
        }
        if (!used[lead]) {
            return std::nullopt;
        }
        target ^= pivotRow[lead];
        value ^= pivotBits[lead];
    }
    return value;
}

} // namespace vantrel::structure::detail

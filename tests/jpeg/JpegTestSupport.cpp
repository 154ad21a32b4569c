#include "JpegTestSupport.h"

#include "jpeg/JpegScanOrder.h"
#include "jpeg/ReadCoefficients.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace vantrel::test {

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string JpegFixture(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/jpeg/" + name;
}

JpegCoefficients ReadJpegOrFail(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    Result<JpegCoefficients> jpeg = ReadJpegCoefficients(bytes);
    if (!jpeg) {
        ADD_FAILURE() << path << ": " << jpeg.error();
        return {};
    }
    return std::move(jpeg).value();
}

namespace {

struct Jump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

} // namespace

std::vector<std::uint8_t> WriteCoefficients(const std::vector<std::uint8_t>& original,
                                            const JpegCoefficients& jpeg) {
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    Jump errors{};
    in.err = jpeg_std_error(&errors.manager);
    out.err = in.err;
    errors.manager.error_exit = [](j_common_ptr info) {
        std::longjmp(reinterpret_cast<Jump*>(info->err)->jump, 1);
    };
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&in);
        jpeg_destroy_compress(&out);
        std::free(buffer);
        ADD_FAILURE() << "libjpeg could not write the coefficients back";
        return {};
    }
    jpeg_create_decompress(&in);
    jpeg_create_compress(&out);
    jpeg_mem_src(&in, original.data(), original.size());
    jpeg_read_header(&in, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&in);
    for (int c = 0; c < in.num_components; ++c) {
        const JpegComponent& component = jpeg.components[static_cast<std::size_t>(c)];
        for (int row = 0; row < component.heightInBlocks; ++row) {
            JBLOCKARRAY blocks =
                in.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&in), arrays[c],
                                           static_cast<JDIMENSION>(row), 1, TRUE);
            std::memcpy(blocks[0], component.block(row, 0).data(),
                        static_cast<std::size_t>(component.widthInBlocks) * 64 * sizeof(JCOEF));
        }
    }
    jpeg_mem_dest(&out, &buffer, &size);
    jpeg_copy_critical_parameters(&in, &out);
    jpeg_write_coefficients(&out, arrays);
    jpeg_finish_compress(&out);
    jpeg_finish_decompress(&in);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    std::free(buffer);
    return bytes;
}

std::uint64_t EmbedJsteg(JpegCoefficients& jpeg, JstegPairing pairing, JstegScope scope,
                         double share, std::mt19937& random) {
    const std::uint64_t usable = JstegChiSquareAttack(jpeg, pairing, scope).usable;
    const auto length = static_cast<std::uint64_t>(share * static_cast<double>(usable));
    std::uint64_t written = 0;
    ForEachBlockInScanOrder(jpeg, scope == JstegScope::Luminance, [&](std::int16_t* block) {
        for (int z = 1; z < 64 && written < length; ++z) {
            std::int16_t& value = block[kZigzagToNatural[z]];
            const int bit = static_cast<int>(random() & 1);
            if (pairing == JstegPairing::Twos && value != 0 && value != 1) {
                value = static_cast<std::int16_t>((value & ~1) | bit);
                ++written;
            } else if (pairing == JstegPairing::Magnitude && std::abs(value) >= 2) {
                const int magnitude = (std::abs(value) & ~1) | bit;
                value = static_cast<std::int16_t>(value < 0 ? -magnitude : magnitude);
                ++written;
            }
        }
    });
    return written;
}

double ChangedNonzeroShare(const JpegCoefficients& cover, const JpegCoefficients& stego) {
    std::uint64_t nonzero = 0;
    std::uint64_t changed = 0;
    for (std::size_t c = 0; c < cover.components.size() && c < stego.components.size(); ++c) {
        const auto& a = cover.components[c].coefficients;
        const auto& b = stego.components[c].coefficients;
        for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
            if (i % 64 != 0) {
                nonzero += a[i] != 0;
                changed += a[i] != b[i];
            }
        }
    }
    return nonzero == 0 ? 0 : static_cast<double>(changed) / static_cast<double>(nonzero);
}

} // namespace vantrel::test

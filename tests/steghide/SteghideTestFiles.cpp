#include "SteghideTestFiles.h"

#include <FreeImage.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>

namespace vantrel::test {

namespace {

struct JumpingErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JumpOut(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JumpingErrors*>(info->err)->jump, 1);
}

} // namespace

Result<JpegCoefficients> ReadJpegCoefficients(const std::string& path) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
    if (!file) {
        return Failure("cannot open " + path);
    }
    jpeg_decompress_struct info{};
    JumpingErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpOut;
    errors.manager.output_message = [](j_common_ptr) {};
    JpegCoefficients result;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return Failure("libjpeg cannot read " + path);
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file.get());
    jpeg_read_header(&info, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
    result.width = static_cast<int>(info.image_width);
    result.height = static_cast<int>(info.image_height);
    result.progressive = info.progressive_mode;
    result.maxHSampling = info.max_h_samp_factor;
    result.maxVSampling = info.max_v_samp_factor;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& in = info.comp_info[c];
        JpegComponent component;
        component.id = in.component_id;
        component.hSampling = in.h_samp_factor;
        component.vSampling = in.v_samp_factor;
        component.quantTableIndex = in.quant_tbl_no;
        component.widthInBlocks = static_cast<int>(in.width_in_blocks);
        component.heightInBlocks = static_cast<int>(in.height_in_blocks);
        component.coefficients.resize(static_cast<std::size_t>(in.width_in_blocks) *
                                      in.height_in_blocks * 64);
        for (JDIMENSION row = 0; row < in.height_in_blocks; ++row) {
            JBLOCKARRAY blocks = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info),
                                                              arrays[c], row, 1, FALSE);
            std::memcpy(component.coefficients.data() +
                            static_cast<std::size_t>(row) * in.width_in_blocks * 64,
                        blocks[0], static_cast<std::size_t>(in.width_in_blocks) * 64 * 2);
        }
        result.components.push_back(std::move(component));
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return result;
}

Result<BmpPixelData> ReadBmpPixels(const std::string& path) {
    std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> bitmap(
        FreeImage_Load(FIF_BMP, path.c_str(), 0), &FreeImage_Unload);
    if (!bitmap) {
        return Failure("FreeImage cannot read " + path);
    }
    BmpPixelData pixels;
    pixels.width = static_cast<int>(FreeImage_GetWidth(bitmap.get()));
    pixels.height = static_cast<int>(FreeImage_GetHeight(bitmap.get()));
    pixels.bitsPerPixel = static_cast<int>(FreeImage_GetBPP(bitmap.get()));
    pixels.stride = FreeImage_GetPitch(bitmap.get());
    const BYTE* bits = FreeImage_GetBits(bitmap.get());
    pixels.bytes.assign(bits, bits + pixels.stride * static_cast<std::size_t>(pixels.height));
    return pixels;
}

Result<SteghideCover> ReadSteghideCover(const std::string& path) {
    if (path.ends_with(".bmp")) {
        Result<BmpPixelData> pixels = ReadBmpPixels(path);
        return pixels ? SteghideBmpCover(*pixels) : Result<SteghideCover>(Failure(pixels.error()));
    }
    Result<JpegCoefficients> jpeg = ReadJpegCoefficients(path);
    return jpeg ? SteghideJpegCover(*jpeg) : Result<SteghideCover>(Failure(jpeg.error()));
}

} // namespace vantrel::test

#include "jpeg/ReadCoefficients.h"

#include "structure/JpegEnd.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/mman.h>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace vantrel {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return; the jump target lives
// beside the manager so the callback finds it from the common struct alone.
struct JumpingErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char lastMessage[JMSG_LENGTH_MAX] = {};
    bool truncated = false;
    std::string refusal; // set by our own checks inside libjpeg's callbacks
    // Where libjpeg's coefficient arrays live: in the components of `target`, one request a
    // component, so nothing is allocated twice or copied.
    JpegCoefficients* target = nullptr;
    struct BlockArray* arrays[MAX_COMPONENTS] = {};
    int requested = 0;
};

// Our stand-in for libjpeg's virtual block array: rows of blocks inside a component's vector,
// at libjpeg's padded row length until the read is done.
struct BlockArray {
    std::size_t component;
    JDIMENSION blocksPerRow;
    JDIMENSION rows;
    JBLOCKROW* rowPointers;
};

JumpingErrors& ErrorsOf(j_common_ptr info) {
    return *reinterpret_cast<JumpingErrors*>(info->err);
}

[[noreturn]] void JumpOut(j_common_ptr info) {
    JumpingErrors& errors = ErrorsOf(info);
    info->err->format_message(info, errors.lastMessage);
    std::longjmp(errors.jump, 1);
}

// Warnings would go to stderr of the decoder process; the one that matters, the premature end of
// data, is remembered instead.
void NoteWarning(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        ErrorsOf(info).truncated = true;
    }
}

void Silent(j_common_ptr) {}

void CountScans(j_common_ptr info) {
    JumpingErrors& errors = ErrorsOf(info);
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    const int cap = *static_cast<const int*>(static_cast<void*>(info->client_data));
    if (decompress->input_scan_number > cap) {
        errors.refusal = "JPEG has more than " + std::to_string(cap) + " scans";
        std::longjmp(errors.jump, 1);
    }
}

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

// The size of libjpeg's coefficient arrays (padded to whole MCUs), known after the header.
std::uint64_t CoefficientBytes(const jpeg_decompress_struct& info) {
    std::uint64_t bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& in = info.comp_info[c];
        bytes += RoundUp(in.width_in_blocks, in.h_samp_factor) *
                 RoundUp(in.height_in_blocks, in.v_samp_factor) * DCTSIZE2 * sizeof(JCOEF);
    }
    return bytes;
}

jvirt_barray_ptr RequestBlocks(j_common_ptr info, int pool, boolean, JDIMENSION blocksPerRow,
                               JDIMENSION rows, JDIMENSION) {
    JumpingErrors& errors = ErrorsOf(info);
    if (errors.target == nullptr ||
        static_cast<std::size_t>(errors.requested) >= errors.target->components.size()) {
        ERREXIT(info, JERR_VIRTUAL_BUG);
    }
    auto* array = static_cast<BlockArray*>(info->mem->alloc_small(info, pool, sizeof(BlockArray)));
    *array = {static_cast<std::size_t>(errors.requested), blocksPerRow, rows, nullptr};
    errors.arrays[errors.requested++] = array;
    return reinterpret_cast<jvirt_barray_ptr>(array);
}

// Faulting in tens of megabytes of fresh arrays page by page cost a third of a large read; huge
// pages, where the kernel grants them on request, take that to almost nothing. Only a hint.
void AskForHugePages(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

// The vectors start zeroed, as libjpeg's coefficient controller expects of pre-zeroed arrays.
void RealizeBlocks(j_common_ptr info) {
    JumpingErrors& errors = ErrorsOf(info);
    for (int i = 0; i < errors.requested; ++i) {
        BlockArray& array = *errors.arrays[i];
        std::vector<std::int16_t>& values = errors.target->components[array.component].coefficients;
        const std::size_t rowValues = std::size_t{array.blocksPerRow} * DCTSIZE2;
        bool allocated = true;
        try {
            values.reserve(rowValues * array.rows);
            AskForHugePages(values.data(), values.capacity() * sizeof(std::int16_t));
            values.assign(rowValues * array.rows, 0);
        } catch (...) {
            allocated = false;
        }
        if (!allocated) {
            ERREXIT(info, JERR_OUT_OF_MEMORY);
        }
        array.rowPointers = static_cast<JBLOCKROW*>(info->mem->alloc_large(
            info, JPOOL_IMAGE, std::max<std::size_t>(array.rows, 1) * sizeof(JBLOCKROW)));
        static_assert(sizeof(JCOEF) == sizeof(std::int16_t));
        for (JDIMENSION row = 0; row < array.rows; ++row) {
            array.rowPointers[row] = reinterpret_cast<JBLOCKROW>(values.data() + row * rowValues);
        }
    }
}

JBLOCKARRAY AccessBlocks(j_common_ptr info, jvirt_barray_ptr handle, JDIMENSION startRow,
                         JDIMENSION rowCount, boolean) {
    const BlockArray& array = *reinterpret_cast<BlockArray*>(handle);
    if (array.rowPointers == nullptr || startRow > array.rows || rowCount > array.rows - startRow) {
        ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    }
    return array.rowPointers + startRow;
}

// The frame's description into `out`, with one empty component each; false when a component
// names a table the file never defined.
bool DescribeFrame(const jpeg_decompress_struct& info, JpegCoefficients& out) {
    out.width = static_cast<int>(info.image_width);
    out.height = static_cast<int>(info.image_height);
    out.progressive = info.progressive_mode != 0;
    out.maxHSampling = info.max_h_samp_factor;
    out.maxVSampling = info.max_v_samp_factor;
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
        if (const JQUANT_TBL* table = info.quant_tbl_ptrs[t]) {
            out.quantTablePresent[t] = true;
            for (int k = 0; k < DCTSIZE2; ++k) {
                out.quantTables[t][k] = table->quantval[k];
            }
        }
    }
    out.components.reserve(static_cast<std::size_t>(info.num_components));
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& in = info.comp_info[c];
        if (in.quant_tbl_no < 0 || in.quant_tbl_no >= NUM_QUANT_TBLS ||
            !out.quantTablePresent[in.quant_tbl_no]) {
            return false;
        }
        JpegComponent& component = out.components.emplace_back();
        component.id = in.component_id;
        component.hSampling = in.h_samp_factor;
        component.vSampling = in.v_samp_factor;
        component.quantTableIndex = in.quant_tbl_no;
        component.widthInBlocks = static_cast<int>(in.width_in_blocks);
        component.heightInBlocks = static_cast<int>(in.height_in_blocks);
        component.width = static_cast<int>(in.downsampled_width);
        component.height = static_cast<int>(in.downsampled_height);
    }
    return true;
}

// Runs `fit` on every requested array with its component; false when an array was never
// requested for a component or `fit` refuses one.
template <class Fit> bool FitArrays(const JumpingErrors& errors, JpegCoefficients& out, Fit fit) {
    if (static_cast<std::size_t>(errors.requested) != out.components.size()) {
        return false;
    }
    for (int i = 0; i < errors.requested; ++i) {
        const BlockArray& array = *errors.arrays[i];
        if (!fit(array, out.components[array.component])) {
            return false;
        }
    }
    return true;
}

// The padded arrays kept whole: the components count their padding blocks.
bool CountPadding(const JumpingErrors& errors, JpegCoefficients& out) {
    return FitArrays(errors, out, [](const BlockArray& array, JpegComponent& component) {
        component.widthInBlocks = static_cast<int>(array.blocksPerRow);
        component.heightInBlocks = static_cast<int>(array.rows);
        return true;
    });
}

// libjpeg's rows are padded to whole MCUs; ours hold the stored blocks only. Rows move down in
// place, each to a lower address than it came from.
bool CompactRows(const JumpingErrors& errors, JpegCoefficients& out) {
    return FitArrays(errors, out, [](const BlockArray& array, JpegComponent& component) {
        const std::size_t from = std::size_t{array.blocksPerRow} * DCTSIZE2;
        const std::size_t to = static_cast<std::size_t>(component.widthInBlocks) * DCTSIZE2;
        if (to > from || static_cast<JDIMENSION>(component.heightInBlocks) > array.rows) {
            return false;
        }
        std::int16_t* values = component.coefficients.data();
        for (int row = 1; row < component.heightInBlocks; ++row) {
            std::memmove(values + row * to, values + row * from, to * sizeof(std::int16_t));
        }
        component.coefficients.resize(to * static_cast<std::size_t>(component.heightInBlocks));
        return true;
    });
}

// jpeg_read_coefficients stops right after EOI, so what the memory source has not handed out yet
// is the trailer. The saved markers live in libjpeg's pools, hence the copy before destroying.
void NoteCommentsAndTrailer(const jpeg_decompress_struct& info, std::span<const std::uint8_t> bytes,
                            JpegCoefficients& out) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr;
         marker = marker->next) {
        if (marker->marker == JPEG_COM) {
            out.comments.emplace_back(reinterpret_cast<const char*>(marker->data),
                                      marker->data_length);
        }
    }
    // The structure walk's definition, so the two reports never disagree on a camera's MPF
    // images or on fill bytes after EOI.
    const structure::JpegTrailer trailer = structure::JpegTrailerOf(bytes);
    out.trailerOffset = trailer.offset;
    out.trailerLength = trailer.length;
}

} // namespace

Result<JpegCoefficients> ReadJpegCoefficients(std::span<const std::uint8_t> bytes,
                                              const JpegReadLimits& limits) {
    if (bytes.size() < 4) {
        return Failure("not a JPEG file: too short");
    }
    jpeg_decompress_struct info{};
    JumpingErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpOut;
    errors.manager.emit_message = NoteWarning;
    errors.manager.output_message = Silent;
    int scanCap = limits.maxScans;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = CountScans;
    // Built in this frame, before setjmp, so a jump from libjpeg skips no destructor.
    JpegCoefficients result;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        if (!errors.refusal.empty()) {
            return Failure(errors.refusal);
        }
        return Failure("JPEG cannot be read: " + std::string(errors.lastMessage));
    }
    jpeg_create_decompress(&info);
    info.client_data = &scanCap;
    info.progress = &progress;
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    // 65533 is the most a segment can hold, so every comment is kept whole.
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return Failure("JPEG holds tables only, no image");
    }
    const std::uint64_t pixels = std::uint64_t{info.image_width} * info.image_height;
    const std::uint64_t coefficientBytes = CoefficientBytes(info);
    if (pixels > limits.maxPixels || coefficientBytes > limits.maxCoefficientBytes) {
        const unsigned width = info.image_width;
        const unsigned height = info.image_height;
        jpeg_destroy_decompress(&info);
        return Failure("JPEG frame of " + std::to_string(width) + " x " + std::to_string(height) +
                       (pixels > limits.maxPixels
                            ? " pixels is over the pixel limit"
                            : " pixels needs coefficient arrays over the limit"));
    }
    if (!DescribeFrame(info, result)) {
        jpeg_destroy_decompress(&info);
        return Failure("JPEG component uses an undefined quantization table");
    }
    errors.target = &result;
    info.mem->request_virt_barray = RequestBlocks;
    info.mem->realize_virt_arrays = RealizeBlocks;
    info.mem->access_virt_barray = AccessBlocks;
    jpeg_read_coefficients(&info);
    // Our block arrays' descriptions live in libjpeg's pools: compact before destroying them.
    const bool compacted = !errors.truncated && (limits.keepPadding ? CountPadding(errors, result)
                                                                    : CompactRows(errors, result));
    NoteCommentsAndTrailer(info, bytes, result);
    // jpeg_read_coefficients has read up to EOI, so finishing would only free what destroy frees.
    jpeg_destroy_decompress(&info);
    if (errors.truncated) {
        return Failure("truncated JPEG data");
    }
    if (!compacted) {
        return Failure("JPEG coefficient arrays do not match the frame");
    }
    return result;
}

} // namespace vantrel

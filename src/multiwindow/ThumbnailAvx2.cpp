// The AVX2 kernels of the thumbnails, built only where the compiler can target AVX2 and run only
// where the processor has it (see WideVectors.h).
#include "multiwindow/RowReducer.h"

namespace vantrel {

#if VANTREL_AVX2_KERNELS
// The byte sums of the taps with AVX2: 32 bytes summed by one psadbw, a tap's last bytes masked,
// where the row has 32 bytes to read from there (its end, by the loop).
VANTREL_AVX2 void ByteTapSumsAvx2(const std::uint8_t* row, int rowBytes, const BoxTaps* taps,
                                  std::size_t count, int* totals) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lane =
        _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                         21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
    for (std::size_t t = 0; t < count; ++t) {
        int x = taps[t].first;
        const int end = taps[t].end;
        __m256i sums = zero;
        for (; x + 32 <= end; x += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x));
            sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, zero));
        }
        int sum = 0;
        if (x < end && x + 32 <= rowBytes) {
            const __m256i keep =
                _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(end - x)), lane);
            const __m256i bytes = _mm256_and_si256(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x)), keep);
            sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, zero));
            x = end;
        }
        for (; x < end; ++x) {
            sum += row[x];
        }
        const __m128i halves =
            _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
        totals[t] =
            sum + static_cast<int>(_mm_cvtsi128_si64(halves) + _mm_extract_epi64(halves, 1));
    }
}
#endif

} // namespace vantrel

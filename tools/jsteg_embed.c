/* JSteg-style stegos for the calibration run (tools/make_stegos.sh builds and runs it): the
 * message replaces the low bit of the quantized AC coefficients in the order the entropy coder
 * meets them (MCU by MCU), sequentially from the first block, as JSteg does. Coefficients 0 and 1
 * carry nothing ("twos": two's-complement low bit); "magnitude" writes the low bit of |c| >= 2
 * instead, as later variants do. The message is JSteg's: 5 bits giving the width of the length,
 * the length in bytes, then the bytes (random, from a fixed seed).
 * Usage: jsteg_embed IN.jpg OUT.jpg SHARE SEED twos|magnitude   (SHARE of the usable coefficients)
 * Prints the message length in bytes. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>

static uint64_t state;
static unsigned next_bit(void) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return (unsigned)(state >> 32) & 1u;
}

static const int zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                               12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                               35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                               58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

static int magnitude_pairing;
static uint8_t* message;
static uint64_t message_bits, written, usable;

static int carries(int v) { return magnitude_pairing ? abs(v) >= 2 : (v != 0 && v != 1); }

static void visit(JCOEF* block, int embed) {
    for (int z = 1; z < 64; ++z) {
        JCOEF* c = &block[zigzag[z]];
        if (!carries(*c)) {
            continue;
        }
        if (!embed) {
            ++usable;
            continue;
        }
        if (written >= message_bits) {
            return;
        }
        int bit = (message[written / 8] >> (7 - written % 8)) & 1;
        if (magnitude_pairing) {
            int m = (abs(*c) & ~1) | bit;
            *c = (JCOEF)(*c < 0 ? -m : m);
        } else {
            *c = (JCOEF)((*c & ~1) | bit);
        }
        ++written;
    }
}

static void walk(j_decompress_ptr in, jvirt_barray_ptr* arrays, int embed) {
    if (in->num_components == 1) {
        jpeg_component_info* c = &in->comp_info[0];
        for (JDIMENSION r = 0; r < c->height_in_blocks; ++r) {
            JBLOCKARRAY row = in->mem->access_virt_barray((j_common_ptr)in, arrays[0], r, 1, TRUE);
            for (JDIMENSION x = 0; x < c->width_in_blocks; ++x) {
                visit(row[0][x], embed);
            }
        }
        return;
    }
    int mw = 8 * in->max_h_samp_factor, mh = 8 * in->max_v_samp_factor;
    int columns = ((int)in->image_width + mw - 1) / mw, rows = ((int)in->image_height + mh - 1) / mh;
    for (int my = 0; my < rows; ++my) {
        for (int mx = 0; mx < columns; ++mx) {
            for (int ci = 0; ci < in->num_components; ++ci) {
                jpeg_component_info* c = &in->comp_info[ci];
                for (int v = 0; v < c->v_samp_factor; ++v) {
                    JDIMENSION r = (JDIMENSION)(my * c->v_samp_factor + v);
                    if (r >= c->height_in_blocks) {
                        continue;
                    }
                    JBLOCKARRAY row = in->mem->access_virt_barray((j_common_ptr)in, arrays[ci], r, 1, TRUE);
                    for (int h = 0; h < c->h_samp_factor; ++h) {
                        JDIMENSION x = (JDIMENSION)(mx * c->h_samp_factor + h);
                        if (x < c->width_in_blocks) {
                            visit(row[0][x], embed);
                        }
                    }
                }
            }
        }
    }
}

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: jsteg_embed IN.jpg OUT.jpg SHARE SEED twos|magnitude\n");
        return 2;
    }
    FILE* fin = fopen(argv[1], "rb");
    FILE* fout = fopen(argv[2], "wb");
    if (!fin || !fout) {
        fprintf(stderr, "jsteg_embed: cannot open %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    double share = atof(argv[3]);
    state = 0x9E3779B97F4A7C15ull ^ (uint64_t)strtoull(argv[4], NULL, 10);
    magnitude_pairing = strcmp(argv[5], "magnitude") == 0;
    struct jpeg_decompress_struct in;
    struct jpeg_compress_struct out;
    struct jpeg_error_mgr errors;
    in.err = jpeg_std_error(&errors);
    out.err = in.err;
    jpeg_create_decompress(&in);
    jpeg_create_compress(&out);
    jpeg_stdio_src(&in, fin);
    jpeg_read_header(&in, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&in);
    walk(&in, arrays, 0);
    /* The header takes 5 + 8 * width bits; the rest of the share is message bytes. */
    uint64_t bytes = (uint64_t)(share * (double)usable) / 8;
    int width = 1;
    while (width < 31 && (bytes >> (8 * width)) != 0) {
        ++width;
    }
    bytes = bytes > (uint64_t)(5 + 8 * width) / 8 + 1 ? bytes - (5 + 8 * width) / 8 - 1 : 0;
    message_bits = 5 + 8 * (uint64_t)width + 8 * bytes;
    message = calloc(message_bits / 8 + 2, 1);
    uint64_t at = 0;
#define PUT(bit) (message[at / 8] |= (uint8_t)((bit) << (7 - at % 8)), ++at)
    for (int i = 4; i >= 0; --i) PUT((width >> i) & 1);
    for (int i = 8 * width - 1; i >= 0; --i) PUT((unsigned)((bytes >> i) & 1));
    for (uint64_t i = 0; i < 8 * bytes; ++i) PUT(next_bit());
    walk(&in, arrays, 1);
    jpeg_stdio_dest(&out, fout);
    jpeg_copy_critical_parameters(&in, &out);
    jpeg_write_coefficients(&out, arrays);
    jpeg_finish_compress(&out);
    jpeg_finish_decompress(&in);
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    fclose(fin);
    fclose(fout);
    printf("%llu\n", (unsigned long long)bytes);
    return 0;
}

#include "NaiveJpeg.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace vantrel::test {

namespace {

double C(int u) {
    return u == 0 ? 1 / std::numbers::sqrt2 : 1.0;
}
double Cos(int x, int u) {
    return std::cos((2 * x + 1) * u * std::numbers::pi / 16);
}

} // namespace

std::vector<std::uint8_t> NaiveDecompressPlane(const JpegComponent& component,
                                               const std::array<std::uint16_t, 64>& table) {
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(component.width) *
                                    static_cast<std::size_t>(component.height));
    for (int y = 0; y < component.height; ++y) {
        for (int x = 0; x < component.width; ++x) {
            const auto block = component.block(y / 8, x / 8);
            double sum = 0;
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    sum += C(v) * C(u) / 4 * block[static_cast<std::size_t>(v * 8 + u)] *
                           table[static_cast<std::size_t>(v * 8 + u)] * Cos(y % 8, v) *
                           Cos(x % 8, u);
                }
            }
            // The true value is a half wherever the sum's irrational parts cancel (DC-only
            // blocks, mirrored coefficients); double error leaves it within 1e-12 of one.
            if (std::fabs(sum - std::floor(sum) - 0.5) < 1e-9) {
                sum = std::floor(sum) + 0.5;
            }
            plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(component.width) +
                  static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(std::clamp(std::nearbyint(sum + 128), 0.0, 255.0));
        }
    }
    return plane;
}

double NaiveF5Beta(const JpegComponent& component, const std::array<std::uint16_t, 64>& table) {
    const std::vector<std::uint8_t> plane = NaiveDecompressPlane(component, table);
    constexpr int modes[3][2] = {{0, 1}, {1, 0}, {1, 1}};
    double H[3][3] = {}, h[3][3] = {};
    const int blocks = component.widthInBlocks * component.heightInBlocks;
    for (int b = 0; b < blocks; ++b) {
        for (int m = 0; m < 3; ++m) {
            const int d = std::abs(component.coefficients[static_cast<std::size_t>(
                b * 64 + modes[m][0] * 8 + modes[m][1])]);
            if (d < 3) {
                H[m][d] += 1;
            }
        }
    }
    const int columns = (component.width - 4) / 8, rows = (component.height - 4) / 8;
    for (int by = 0; by < rows; ++by) {
        for (int bx = 0; bx < columns; ++bx) {
            for (int m = 0; m < 3; ++m) {
                const int v = modes[m][0], u = modes[m][1];
                double sum = 0;
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 8; ++x) {
                        const double p = plane[static_cast<std::size_t>(4 + by * 8 + y) *
                                                   static_cast<std::size_t>(component.width) +
                                               static_cast<std::size_t>(4 + bx * 8 + x)];
                        sum += C(v) * C(u) / 4 * (p - 128) * Cos(y, v) * Cos(x, u);
                    }
                }
                const long d =
                    std::labs(std::lround(sum / table[static_cast<std::size_t>(v * 8 + u)]));
                if (d < 3) {
                    h[m][d] += 1;
                }
            }
        }
    }
    const double scale = static_cast<double>(blocks) / (columns * rows);
    double beta = 0;
    for (int m = 0; m < 3; ++m) {
        const double h0 = h[m][0] * scale, h1 = h[m][1] * scale, h2 = h[m][2] * scale;
        beta +=
            (h1 * (H[m][0] - h0) + (H[m][1] - h1) * (h2 - h1)) / (h1 * h1 + (h2 - h1) * (h2 - h1));
    }
    return beta / 3;
}

} // namespace vantrel::test

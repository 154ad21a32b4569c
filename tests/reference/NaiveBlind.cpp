#include "reference/NaiveBlind.h"

#include <FreeImage.h>
#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vantrel::naive {

Samples ReadChannel(const FIBITMAP* bitmap, int channel) {
    FIBITMAP* image = const_cast<FIBITMAP*>(bitmap);
    Samples samples;
    samples.width = static_cast<int>(FreeImage_GetWidth(image));
    samples.height = static_cast<int>(FreeImage_GetHeight(image));
    samples.s.reserve(static_cast<std::size_t>(samples.width) * samples.height);
    std::vector<int> alpha;
    for (int y = 0; y < samples.height; ++y) {
        for (int x = 0; x < samples.width; ++x) {
            RGBQUAD colour{};
            FreeImage_GetPixelColor(image, x, samples.height - 1 - y, &colour);
            const int values[] = {colour.rgbRed, colour.rgbGreen, colour.rgbBlue};
            samples.s.push_back(values[channel]);
            alpha.push_back(FreeImage_GetBPP(image) == 32 ? colour.rgbReserved : 255);
        }
    }
    const bool someAlpha = std::any_of(alpha.begin(), alpha.end(), [](int a) { return a != 0; });
    for (int y = 0; y < samples.height; ++y) {
        for (int x = 0; x < samples.width; ++x) {
            const int v = samples.at(x, y);
            bool flat = true;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < samples.width && ny < samples.height) {
                        flat = flat && samples.at(nx, ny) / 2 == v / 2;
                    }
                }
            }
            const bool visible =
                !someAlpha || alpha[static_cast<std::size_t>(y) * samples.width + x] != 0;
            samples.usable.push_back(visible && !flat && v >= 2 && v <= 253);
        }
    }
    return samples;
}

ChiSquareResult ChiSquare(const Samples& samples) {
    ChiSquareResult result;
    const std::size_t n = samples.s.size();
    int run = 0;
    bool walking = true;
    for (int k = 1; k <= kCurvePoints; ++k) {
        std::vector<double> h(256, 0.0);
        for (std::size_t i = 0; i < k * n / 100; ++i) {
            h[static_cast<std::size_t>(samples.s[i])] += samples.usable[i] ? 1 : 0;
        }
        double chi2 = 0;
        int categories = 0;
        for (int c = 0; c < 128; ++c) {
            const double expected = (h[2 * c] + h[2 * c + 1]) / 2;
            if (expected >= 5) {
                chi2 += (h[2 * c] - expected) * (h[2 * c] - expected) / expected;
                ++categories;
            }
        }
        const int df = categories - 1;
        const double p = df < 1 ? 0.0 : boost::math::gamma_q(df / 2.0, chi2 / 2);
        result.curve[static_cast<std::size_t>(k - 1)] = p;
        if (walking && df >= 1) {
            walking = p > 0.5;
            run = walking ? k : run;
        }
        if (k == kCurvePoints) {
            result.p = p;
            result.status = df < 1 ? AttackStatus::NoTest : AttackStatus::Ok;
        }
    }
    result.fraction = run / 100.0;
    return result;
}

namespace {

int Discrimination(const int g[4]) {
    return std::abs(g[1] - g[0]) + std::abs(g[2] - g[1]) + std::abs(g[3] - g[2]);
}
int F1(int x) {
    return x ^ 1;
}
int FMinus1(int x) {
    return F1(x + 1) - 1;
}

} // namespace

RsResult Rs(const Samples& samples) {
    RsResult result;
    if (samples.width < 4) {
        result.status = AttackStatus::NoGroups;
        return result;
    }
    std::int64_t counts[2][4] = {}; // [flipped][R_M, S_M, R_-M, S_-M]
    std::int64_t groups = 0;
    for (int flipped = 0; flipped < 2; ++flipped) {
        for (int y = 0; y < samples.height; ++y) {
            for (int x = 0; x + 4 <= samples.width; x += 4) {
                if (!(samples.use(x, y) && samples.use(x + 1, y) && samples.use(x + 2, y) &&
                      samples.use(x + 3, y))) {
                    continue;
                }
                groups += flipped == 0;
                int g[4], m[4], n[4];
                for (int i = 0; i < 4; ++i) {
                    g[i] = flipped ? F1(samples.at(x + i, y)) : samples.at(x + i, y);
                    const bool middle = i == 1 || i == 2;
                    m[i] = middle ? F1(g[i]) : g[i];
                    n[i] = middle ? FMinus1(g[i]) : g[i];
                }
                const int f = Discrimination(g), fm = Discrimination(m), fn = Discrimination(n);
                counts[flipped][0] += fm > f;
                counts[flipped][1] += fm < f;
                counts[flipped][2] += fn > f;
                counts[flipped][3] += fn < f;
            }
        }
    }
    result.counts = {counts[0][0], counts[0][1], counts[0][2], counts[0][3], counts[1][0],
                     counts[1][1], counts[1][2], counts[1][3], groups};
    const double d0 = double(counts[0][0] - counts[0][1]);
    const double d1 = double(counts[1][0] - counts[1][1]);
    const double dn0 = double(counts[0][2] - counts[0][3]);
    const double dn1 = double(counts[1][2] - counts[1][3]);
    const double a = 2 * (d1 + d0), b = dn0 - dn1 - d1 - 3 * d0, c = d0 - dn0;
    double x = 0;
    if (a == 0) {
        x = b == 0 ? 0 : -c / b;
    } else if (b * b - 4 * a * c < 0) {
        x = -b / (2 * a);
    } else {
        const double r1 = (-b + std::sqrt(b * b - 4 * a * c)) / (2 * a);
        const double r2 = (-b - std::sqrt(b * b - 4 * a * c)) / (2 * a);
        x = std::abs(r1) <= std::abs(r2) ? r1 : r2;
    }
    result.rate = x == 0.5 ? 0 : x / (x - 0.5);
    result.status = AttackStatus::Ok;
    return result;
}

SpaResult Spa(const Samples& samples) {
    SpaResult result;
    SpaCounts& k = result.counts;
    const auto pair = [&k](int u, int v) {
        ++k.pairs;
        k.x += (v % 2 == 0 && u < v) || (v % 2 == 1 && u > v);
        k.y += (v % 2 == 0 && u > v) || (v % 2 == 1 && u < v);
        k.z += u == v;
        k.w += u / 2 == v / 2 && u != v;
    };
    for (int y = 0; y < samples.height; ++y) {
        for (int x = 0; x < samples.width; ++x) {
            if (x + 1 < samples.width && samples.use(x, y) && samples.use(x + 1, y)) {
                pair(samples.at(x, y), samples.at(x + 1, y));
            }
            if (y + 1 < samples.height && samples.use(x, y) && samples.use(x, y + 1)) {
                pair(samples.at(x, y), samples.at(x, y + 1));
            }
        }
    }
    if (k.pairs == 0) {
        return result;
    }
    const double gamma = double(k.w + k.z);
    const double a = gamma / 2, b = 2.0 * double(k.x) - double(k.pairs), c = double(k.y - k.x);
    if (gamma == 0) {
        result.rate = b == 0 ? 0 : -c / b;
    } else if (b * b - 4 * a * c < 0) {
        result.rate = -b / gamma;
    } else {
        result.rate = (-b - std::sqrt(b * b - 4 * a * c)) / (2 * a);
    }
    result.status = AttackStatus::Ok;
    return result;
}

WsResult Ws(const Samples& samples) {
    WsResult result;
    const int w = samples.width, h = samples.height;
    if (w < 3 || h < 3) {
        return result;
    }
    const auto parity = [&samples](int x, int y) { return samples.at(x, y) % 2 == 1 ? 1.0 : -1.0; };
    const auto predict = [](auto value, int x, int y) {
        const double cross = value(x, y - 1) + value(x, y + 1) + value(x - 1, y) + value(x + 1, y);
        const double diagonal =
            value(x - 1, y - 1) + value(x + 1, y - 1) + value(x - 1, y + 1) + value(x + 1, y + 1);
        return (2 * cross - diagonal) / 4;
    };
    const auto sample = [&samples](int x, int y) { return double(samples.at(x, y)); };
    double weights = 0, raw = 0, bias = 0;
    for (int y = 1; y + 1 < h; ++y) {
        for (int x = 1; x + 1 < w; ++x) {
            if (!samples.use(x, y)) {
                continue;
            }
            double sum = 0, squares = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    sum += sample(x + dx, y + dy);
                    squares += sample(x + dx, y + dy) * sample(x + dx, y + dy);
                }
            }
            const double variance = (9 * squares - sum * sum) / 81;
            const double weight = 1 / (5 + variance);
            weights += weight;
            raw += weight * parity(x, y) * (sample(x, y) - predict(sample, x, y));
            bias += weight * parity(x, y) * predict(parity, x, y);
        }
    }
    if (weights == 0) {
        return result;
    }
    result.betaRaw = raw / weights;
    result.bias = bias / weights;
    result.rate = 2 * (result.betaRaw - result.betaRaw * result.bias);
    result.status = AttackStatus::Ok;
    return result;
}

} // namespace vantrel::naive

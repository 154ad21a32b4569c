// The one-window analyses on 24-megapixel displayed pictures: each row kernel beside the naive
// version that reads (and writes) one pixel per QImage call in the order the calculations are
// described (columns outer, rows inner), and beside a memcpy of the bytes the kernel reads.
#include "BenchSupport.h"

#include "onewindow/LocalVariation.h"
#include "onewindow/LsbColumns.h"
#include "onewindow/LsbView.h"
#include "onewindow/Psnr.h"

#include <QImage>
#include <tbb/global_control.h>

#include <cmath>
#include <cstdlib>

namespace vantrel::bench {
namespace {

constexpr std::size_t kPictureBytes = static_cast<std::size_t>(kWidth) * kHeight * 4;

// A displayed picture: RGB32, top row first, noise in every channel.
QImage NoisePicture(unsigned seed) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            row[x] = 0xFF000000u | (random() & 0xFFFFFF);
        }
    }
    return picture;
}

const QImage& TestPicture() {
    static const QImage picture = NoisePicture(1);
    return picture;
}

// The original: the test picture with some LSBs flipped, as after hiding data.
const QImage& OriginalPicture() {
    static const QImage picture = [] {
        QImage original = TestPicture().copy();
        std::mt19937 random(2);
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<QRgb*>(original.scanLine(y));
            for (int x = 0; x < kWidth; ++x) {
                row[x] ^= random() & 0x010101;
            }
        }
        return original;
    }();
    return picture;
}

PixelView ViewOf(const QImage& image) {
    return {image.width(), image.height(), 4, image.bytesPerLine(), image.constBits()};
}
MutablePixelView MutableViewOf(QImage& image) {
    return {image.width(), image.height(), 4, image.bytesPerLine(), image.bits()};
}

RgbColor Read(const QImage& image, int x, int y) {
    const QRgb rgb = image.pixel(x, y);
    return MakeRgb(qRed(rgb), qGreen(rgb), qBlue(rgb));
}
void Write(QImage& image, int x, int y, RgbColor colour) {
    image.setPixel(x, y, qRgb(RedOf(colour), GreenOf(colour), BlueOf(colour)));
}

// A naive run takes seconds: the minimum time makes it run once.
void Register(const char* name, void (*function)(benchmark::State&)) {
    benchmark::RegisterBenchmark(name, function)->Unit(benchmark::kMillisecond);
}

// --- LSB view (Diff, which reads both pictures) ---

void ViewKernel(benchmark::State& state) {
    QImage view(kWidth, kHeight, QImage::Format_RGB32);
    view.fill(0);
    for (auto _ : state) {
        DrawLsbView(LsbViewMode::Diff, ViewOf(TestPicture()), ViewOf(OriginalPicture()),
                    MutableViewOf(view));
        benchmark::DoNotOptimize(view.constBits());
    }
}

void ViewNaive(benchmark::State& state) {
    QImage view(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        for (int x = 0; x < kWidth; ++x) {
            for (int y = 0; y < kHeight; ++y) {
                Write(view, x, y,
                      LsbViewColour(LsbViewMode::Diff, Read(TestPicture(), x, y),
                                    Read(OriginalPicture(), x, y)));
            }
        }
        benchmark::DoNotOptimize(view.constBits());
    }
}

// --- Column pass with the chi-squared pass ---

void ColumnsKernel(benchmark::State& state) {
    for (auto _ : state) {
        const LsbColumnCounts test = CountLsbColumns(ViewOf(TestPicture()), WithChanges::Yes);
        const std::vector<ColumnCurve> curves = LsbCurves(test);
        const ChiSquaredColumns chi =
            ChiSquaredByColumn(test, CountLsbColumns(ViewOf(OriginalPicture()), WithChanges::No));
        benchmark::DoNotOptimize(curves.data());
        benchmark::DoNotOptimize(chi.average);
    }
}

int Lsbs(RgbColor c) {
    return ((RedOf(c) & 1) != 0) + ((GreenOf(c) & 1) != 0) + ((BlueOf(c) & 1) != 0);
}

void ColumnsNaive(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<ColumnCurve> curves(kWidth);
        for (int x = 0; x < kWidth; ++x) {
            int sum = 0;
            int changes = 0;
            RgbColor above = 0;
            for (int y = 0; y < kHeight; ++y) {
                const RgbColor c = Read(TestPicture(), x, y);
                sum += Lsbs(c);
                if (y > 0) {
                    changes += Lsbs((c ^ above) & 0x010101);
                }
                above = c;
            }
            curves[x] = {sum, changes, GreenPointY(sum, kHeight), YellowPointY(changes, kHeight)};
        }
        double total = 0;
        for (int x = 0; x < kWidth; ++x) {
            double observed[3] = {0, 0, 0};
            double expected[3] = {0, 0, 0};
            for (int y = 0; y < kHeight; ++y) {
                const RgbColor t = Read(TestPicture(), x, y);
                const RgbColor o = Read(OriginalPicture(), x, y);
                observed[0] += (RedOf(t) & 1) != 0;
                observed[1] += (GreenOf(t) & 1) != 0;
                observed[2] += (BlueOf(t) & 1) != 0;
                expected[0] += (RedOf(o) & 1) != 0;
                expected[1] += (GreenOf(o) & 1) != 0;
                expected[2] += (BlueOf(o) & 1) != 0;
            }
            total += ChiSquaredProbability(3, observed, expected);
        }
        benchmark::DoNotOptimize(curves.data());
        benchmark::DoNotOptimize(total);
    }
}

// --- PSNR ---

void PsnrKernel(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(CalcPSNR(ViewOf(OriginalPicture()), ViewOf(TestPicture())));
    }
}

void PsnrNaive(benchmark::State& state) {
    for (auto _ : state) {
        std::int64_t red = 0, green = 0, blue = 0;
        for (int x = 0; x < kWidth; ++x) {
            for (int y = 0; y < kHeight; ++y) {
                const RgbColor a = Read(OriginalPicture(), x, y);
                const RgbColor b = Read(TestPicture(), x, y);
                red += (RedOf(a) - RedOf(b)) * (RedOf(a) - RedOf(b));
                green += (GreenOf(a) - GreenOf(b)) * (GreenOf(a) - GreenOf(b));
                blue += (BlueOf(a) - BlueOf(b)) * (BlueOf(a) - BlueOf(b));
            }
        }
        const std::int64_t n = std::int64_t(kWidth) * kHeight;
        benchmark::DoNotOptimize(FormatPsnrValue(ChannelPsnr(red, n)) +
                                 FormatPsnrValue(ChannelPsnr(green, n)) +
                                 FormatPsnrValue(ChannelPsnr(blue, n)));
    }
}

// --- Local variation (green) ---

void VariationKernel(benchmark::State& state) {
    // The view exists (and has been drawn on) before the calculation, as in the window.
    QImage view(kWidth, kHeight, QImage::Format_RGB32);
    view.fill(0);
    for (auto _ : state) {
        DrawLocalVariation(ViewOf(TestPicture()), VariationChannel::Green, MutableViewOf(view));
        benchmark::DoNotOptimize(view.constBits());
    }
}

// The same kernel held to one thread: how much the second core adds.
void VariationOneThread(benchmark::State& state) {
    const tbb::global_control single(tbb::global_control::max_allowed_parallelism, 1);
    VariationKernel(state);
}

// Nine reads and one logarithm a pixel.
void VariationNaive(benchmark::State& state) {
    QImage view(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        for (int x = 1; x <= kWidth - 2; ++x) {
            for (int y = 1; y <= kHeight - 2; ++y) {
                int values[9];
                int sum = 0;
                for (int i = 0; i < 9; ++i) {
                    values[i] = GreenOf(Read(TestPicture(), x - 1 + i % 3, y - 1 + i / 3));
                    sum += values[i];
                }
                const int m = static_cast<int>(std::lrint(sum / 9.0));
                int deviations = 0;
                for (const int v : values) {
                    deviations += std::abs(v - m);
                }
                const int d = static_cast<int>(std::lrint(deviations / 9.0));
                const int q = d * d;
                const int t = q <= 0 ? 255
                                     : static_cast<int>(std::lrint(
                                           20 * Log10(255 / std::sqrt(double(q))) * 2.5));
                Write(view, x, y, MakeRgb(255 - t, 255 - t, 255 - t));
            }
        }
        benchmark::DoNotOptimize(view.constBits());
    }
}

const bool registered = [] {
    // The pictures are made before any timing starts.
    OriginalPicture();
    Register("LsbView/kernel", ViewKernel);
    Register("LsbView/naive", ViewNaive);
    RegisterMemcpy("LsbView", 2 * kPictureBytes);
    Register("LsbColumnsChiSquared/kernel", ColumnsKernel);
    Register("LsbColumnsChiSquared/naive", ColumnsNaive);
    RegisterMemcpy("LsbColumnsChiSquared", 2 * kPictureBytes);
    Register("CalcPSNR/kernel", PsnrKernel);
    Register("CalcPSNR/naive", PsnrNaive);
    RegisterMemcpy("CalcPSNR", 2 * kPictureBytes);
    Register("LocalVariation/kernel", VariationKernel);
    Register("LocalVariation/naive", VariationNaive);
    Register("LocalVariation/one_thread", VariationOneThread);
    RegisterMemcpy("LocalVariation", kPictureBytes);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();

// The one-window analyses on image files, reading each image as the window displays it.
#include "cli/Cli.h"

#include "image/ColorModel.h"
#include "onewindow/LocalVariation.h"
#include "onewindow/LsbColumns.h"
#include "onewindow/LsbView.h"
#include "onewindow/Psnr.h"

#include <cstdio>
#include <optional>

namespace vantrel::cli {
namespace {

Picture LoadPicture(const std::string& path) {
    return PictureOf(LoadOrThrow(path).get());
}

// A picture of the given size filled with one colour, as a cleared view shows it.
Picture BlankPicture(int width, int height, RgbColor colour) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t i = 0; i < picture.pixels.size(); i += 4) {
        picture.pixels[i + kBlue] = static_cast<std::uint8_t>(BlueOf(colour));
        picture.pixels[i + kGreen] = static_cast<std::uint8_t>(GreenOf(colour));
        picture.pixels[i + kRed] = static_cast<std::uint8_t>(RedOf(colour));
        picture.pixels[i + kAlpha] = 0xFF;
    }
    return picture;
}

int RunPsnr(const Arguments& args) {
    if (args.size() != 2) {
        throw UsageError("psnr takes ORIGINAL TEST");
    }
    const Picture original = LoadPicture(args[0]);
    const Picture test = LoadPicture(args[1]);
    // An original without pixels would read as a perfect match.
    if (original.width == 0 || original.height == 0) {
        throw InputError("No PSNR: the original image " + args[0] + " has no pixels");
    }
    std::printf("%s\n", CalcPSNR(original.view(), test.view()).c_str());
    return 0;
}

int RunLsb(const Arguments& args) {
    if (args.empty() || args.size() > 2) {
        throw UsageError("lsb takes TEST [ORIGINAL]");
    }
    const Picture test = LoadPicture(args[0]);
    const LsbColumnCounts testColumns = CountLsbColumns(test.view(), WithChanges::Yes);
    const std::vector<ColumnCurve> curves = LsbCurves(testColumns);
    // The chi-squared part runs, as in the window, only against an original of the same size.
    ChiSquaredColumns chiSquared;
    if (args.size() == 2) {
        const Picture original = LoadPicture(args[1]);
        if (original.width == test.width && original.height == test.height) {
            chiSquared =
                ChiSquaredByColumn(testColumns, CountLsbColumns(original.view(), WithChanges::No));
        }
    }
    for (std::size_t x = 0; x < curves.size(); ++x) {
        const ColumnCurve& curve = curves[x];
        std::printf("%zu %d %d %d ", x, curve.setCount, curve.changes, curve.greenY);
        if (curve.yellowY) {
            std::printf("%d", *curve.yellowY);
        } else {
            std::printf("-");
        }
        if (x < chiSquared.probability.size()) {
            const double p = chiSquared.probability[x];
            std::printf(" %.1f %d", p, RedPointY(p));
        }
        std::printf("\n");
    }
    if (chiSquared.average) {
        std::printf("Chi-Squared Average Probability: %s\n",
                    FormatChiSquaredAverage(*chiSquared.average).c_str());
    }
    return 0;
}

std::optional<LsbViewMode> ViewModeNamed(const std::string& name) {
    static constexpr struct {
        const char* name;
        LsbViewMode mode;
    } kModes[] = {{"all", LsbViewMode::All},
                  {"r", LsbViewMode::Red},
                  {"g", LsbViewMode::Green},
                  {"b", LsbViewMode::Blue},
                  {"diff", LsbViewMode::Diff}};
    for (const auto& entry : kModes) {
        if (name == entry.name) {
            return entry.mode;
        }
    }
    return std::nullopt;
}

int RunView(const Arguments& args) {
    if (args.size() != 3 && args.size() != 4) {
        throw UsageError("view takes MODE TEST [ORIGINAL] OUT.png");
    }
    const std::optional<LsbViewMode> mode = ViewModeNamed(args[0]);
    if (!mode) {
        throw UsageError("MODE must be all, r, g, b or diff: " + args[0]);
    }
    if (*mode == LsbViewMode::Diff && args.size() != 4) {
        throw UsageError("diff needs the ORIGINAL image");
    }
    const Picture test = LoadPicture(args[1]);
    const Picture original = args.size() == 4 ? LoadPicture(args[2]) : Picture{};
    // The view has the test picture's size and every pixel of it is drawn.
    Picture view = BlankPicture(test.width, test.height, MakeRgb(64, 64, 64));
    DrawLsbView(*mode, test.view(), original.view(), view.mutableView());
    WritePng24(view.view(), args.back());
    return 0;
}

int RunVariation(const Arguments& args) {
    if (args.size() != 3) {
        throw UsageError("variation takes r|g|b TEST OUT.png");
    }
    VariationChannel channel;
    if (args[0] == "r") {
        channel = VariationChannel::Red;
    } else if (args[0] == "g") {
        channel = VariationChannel::Green;
    } else if (args[0] == "b") {
        channel = VariationChannel::Blue;
    } else {
        throw UsageError("the channel must be r, g or b: " + args[0]);
    }
    const Picture test = LoadPicture(args[1]);
    Picture view = BlankPicture(test.width, test.height, kVariationBackground);
    DrawLocalVariation(test.view(), channel, view.mutableView());
    WritePng24(view.view(), args[2]);
    return 0;
}

} // namespace

std::vector<Command> OneWindowCommands() {
    return {
        {"psnr", "ORIGINAL TEST", "the PSNR of each colour channel, as the PSNR button shows it",
         RunPsnr},
        {"lsb", "TEST [ORIGINAL]",
         "per column: x S D green_y yellow_y, and with an ORIGINAL of the same size p red_y and "
         "the chi-squared average",
         RunLsb},
        {"view", "all|r|g|b|diff TEST [ORIGINAL] OUT.png",
         "the LSB view as a 24-bit PNG (diff needs ORIGINAL)", RunView},
        {"variation", "r|g|b TEST OUT.png",
         "the local variation map of one channel as a 24-bit PNG", RunVariation},
    };
}

} // namespace vantrel::cli

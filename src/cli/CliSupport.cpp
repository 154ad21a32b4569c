#include "cli/Cli.h"

#include "image/ImageLoading.h"

#include <FreeImage.h>

#include <algorithm>
#include <charconv>

namespace vantrel::cli {

BitmapHandle LoadOrThrow(const std::string& path) {
    Result<BitmapHandle> bitmap = LoadImageFile(path);
    if (!bitmap) {
        throw InputError(bitmap.error());
    }
    return std::move(bitmap).value();
}

Picture PictureOf(const FIBITMAP* bitmap) {
    Picture picture;
    picture.width = BitmapWidth(bitmap);
    picture.height = BitmapHeight(bitmap);
    picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height * 4);
    if (!CopyBitmapToBgrx(bitmap, picture.pixels.data(), picture.width * 4)) {
        picture = {};
    }
    return picture;
}

void WritePng24(const PixelView& view, const std::string& path) {
    if (view.empty()) {
        throw InputError("Nothing to write to " + path + ": the picture is empty");
    }
    BitmapHandle out(FreeImage_Allocate(view.width, view.height, 24));
    if (!out) {
        throw InputError("Out of memory writing " + path);
    }
    const MutablePixelView target = MutableViewOfBitmap(out.get());
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* in = view.row(y);
        std::uint8_t* row = target.row(y);
        for (int x = 0; x < view.width; ++x) {
            row[3 * x + 0] = in[x * view.bytesPerPixel + kBlue];
            row[3 * x + 1] = in[x * view.bytesPerPixel + kGreen];
            row[3 * x + 2] = in[x * view.bytesPerPixel + kRed];
        }
    }
    if (!FreeImage_Save(FIF_PNG, out.get(), path.c_str(), PNG_DEFAULT)) {
        throw InputError("Could not write " + path);
    }
}

int ParseInt(const std::string& text, const char* what) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw UsageError(std::string(what) + " must be a whole number: " + text);
    }
    return value;
}

Option CountOption(std::string name, int& count, std::string tooFew) {
    return Valued(name, [name, &count, tooFew](const std::string& value) {
        count = ParseInt(value, name.c_str());
        if (count < 1) {
            throw UsageError(tooFew);
        }
    });
}

int EachPath(const Arguments& paths, const std::function<bool(const std::string& path)>& one) {
    int status = 0;
    for (const std::string& path : paths) {
        status = one(path) ? status : 1;
    }
    return status;
}

Arguments TakeOptions(const Arguments& args, const std::vector<Option>& options,
                      Unlisted unlisted) {
    Arguments operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&](const Option& o) { return o.name == arg; });
        if (option != options.end()) {
            if (option->hasValue && i + 1 >= args.size()) {
                throw UsageError(option->missing.empty() ? arg + " needs a value"
                                                         : option->missing);
            }
            option->take(option->hasValue ? args[++i] : std::string());
            continue;
        }
        const bool refused = (unlisted == Unlisted::DoubleDash && arg.starts_with("--")) ||
                             (unlisted == Unlisted::Dash && arg.starts_with('-')) ||
                             (unlisted == Unlisted::DashButLone && arg.size() > 1 && arg[0] == '-');
        if (refused) {
            throw UsageError("unknown option " + arg);
        }
        operands.push_back(arg);
    }
    return operands;
}

Arguments TakeOperands(const Arguments& args, const std::vector<Option>& options, Unlisted unlisted,
                       const std::string& none) {
    Arguments operands = TakeOptions(args, options, unlisted);
    if (operands.empty()) {
        throw UsageError(none);
    }
    return operands;
}

} // namespace vantrel::cli

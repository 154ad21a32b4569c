#pragma once
// The command-line front of the core. Each subsystem contributes its commands; main() only
// dispatches. Exit status: 0 success, 1 an input could not be read or decoded, 2 usage.
#include "image/Bitmap.h"
#include "image/PixelView.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel::cli {

using Arguments = std::vector<std::string>;

struct Command {
    std::string name;
    std::string usage; // the argument synopsis after the command name
    std::string summary;
    std::function<int(const Arguments&)> run;
};

// Thrown by a command when its arguments are wrong; main prints the usage and exits 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Thrown when an input cannot be read or decoded, or an output cannot be written; main prints
// the one-line message and exits 1.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<Command> ImageCommands();
std::vector<Command> OneWindowCommands();
std::vector<Command> MultiWindowCommands();
std::vector<Command> SearchCommands();
std::vector<Command> FileInfoCommands();
std::vector<Command> ExtractCommands();
std::vector<Command> BlindCommands();
std::vector<Command> JpegCommands();
std::vector<Command> SteghideCommands();
std::vector<Command> StructureCommands();
std::vector<Command> PasswordCommands();
std::vector<Command> VerdictCommands();

// Decodes an image with the open-image rules; throws InputError naming the file on failure.
BitmapHandle LoadOrThrow(const std::string& path);

// The displayed picture of a decoded bitmap: RGB32 rows, top first, alpha 0xFF.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // 4 bytes a pixel: blue, green, red, 0xFF
    PixelView view() const { return {width, height, 4, width * 4, pixels.data()}; }
    MutablePixelView mutableView() { return {width, height, 4, width * 4, pixels.data()}; }
};
Picture PictureOf(const FIBITMAP* bitmap);

// Writes the view's colours as a 24-bit PNG; throws InputError when it cannot be written.
void WritePng24(const PixelView& view, const std::string& path);

int ParseInt(const std::string& text, const char* what);

// One option a command takes: a flag, or an option whose value is the next argument. `missing`
// is the usage message when that value is absent ("NAME needs a value" when empty).
struct Option {
    std::string name;
    std::function<void(const std::string& value)> take; // the value; empty for a flag
    bool hasValue = false;
    std::string missing;
};
inline Option Flag(std::string name, std::function<void()> set) {
    return {std::move(name), [set = std::move(set)](const std::string&) { set(); }, false, {}};
}
inline Option Valued(std::string name, std::function<void(const std::string&)> take,
                     std::string missing = {}) {
    return {std::move(name), std::move(take), true, std::move(missing)};
}

// Which arguments outside the listed options are refused as unknown options rather than taken
// as operands: none, those starting "--", those starting '-', or those starting '-' but "-".
enum class Unlisted { Operands, DoubleDash, Dash, DashButLone };

// A "--jobs"-like option: a whole number of at least 1 into `count`, `tooFew` the message
// for a smaller one.
Option CountOption(std::string name, int& count, std::string tooFew);

// Runs `one` on every path in order and returns the exit status: 1 when any run failed, else 0.
int EachPath(const Arguments& paths, const std::function<bool(const std::string& path)>& one);

// Takes every listed option in the order given, each as it comes (so that a bad value stops the
// command where it stands), and returns the operands in order.
Arguments TakeOptions(const Arguments& args, const std::vector<Option>& options, Unlisted unlisted);
// The same for a command of one or more operands: the usage message `none` when there is none.
Arguments TakeOperands(const Arguments& args, const std::vector<Option>& options, Unlisted unlisted,
                       const std::string& none);

} // namespace vantrel::cli

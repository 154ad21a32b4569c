#pragma once
// The highest colour index a palette PNG's pixels use, read from the image data as it is
// inflated: entries past it are table bytes no pixel shows, where a message can sit unseen.
#include <cstdint>
#include <vector>

namespace vantrel::structure::detail {

class PaletteUse {
public:
    PaletteUse(std::uint32_t width, std::uint32_t height, int depth, bool interlaced);

    // The next inflated bytes of the image data, in any pieces.
    void feed(const std::uint8_t* bytes, std::size_t count);
    // Every row was read (data past the last row is ignored).
    bool complete() const { return pass_ >= 7; }
    int highest() const { return highest_; }

private:
    void startPass();
    void finishRow();

    std::uint32_t width_, height_;
    int depth_;
    bool interlaced_;
    int pass_ = -1;
    std::uint64_t rowPixels_ = 0, rowsLeft_ = 0;
    std::vector<std::uint8_t> row_, previous_; // filter byte first
    std::size_t filled_ = 0;
    int highest_ = -1;
};

} // namespace vantrel::structure::detail

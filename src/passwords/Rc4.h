#pragma once
// RC4 as the password tools run it. f5stegojs keys it the textbook way; OutGuess mixes its key in
// from the running state (i from 255 on, j where it stands, neither reset), and later stirs its
// header's seed into a stream already in use the same way. One state serves both.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace vantrel::passwords {

class Rc4 {
public:
    // The identity permutation with OutGuess's running mix of `key`.
    explicit Rc4(std::span<const std::uint8_t> key) {
        for (int n = 0; n < 256; ++n) {
            s_[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(n);
        }
        Mix(key);
    }
    // The textbook schedule: the same mix, then i and j start over.
    static Rc4 Textbook(std::string_view key) {
        Rc4 rc4({reinterpret_cast<const std::uint8_t*>(key.data()), key.size()});
        rc4.i_ = 0;
        rc4.j_ = 0;
        return rc4;
    }
    void Mix(std::span<const std::uint8_t> key) {
        --i_;
        for (std::size_t n = 0; n < 256; ++n) {
            ++i_;
            const std::uint8_t si = s_[i_];
            j_ = static_cast<std::uint8_t>(j_ + si + key[n % key.size()]);
            s_[i_] = s_[j_];
            s_[j_] = si;
        }
    }
    std::uint8_t Byte() {
        ++i_;
        const std::uint8_t si = s_[i_];
        j_ = static_cast<std::uint8_t>(j_ + si);
        const std::uint8_t sj = s_[j_];
        s_[i_] = sj;
        s_[j_] = si;
        return s_[static_cast<std::uint8_t>(si + sj)];
    }
    // OutGuess reads words most significant byte first.
    std::uint32_t BigEndianWord() {
        std::uint32_t word = 0;
        for (int n = 0; n < 4; ++n) {
            word = (word << 8) | Byte();
        }
        return word;
    }
    // f5stegojs reads them as a Uint32Array over the stream's bytes: least significant first.
    std::uint32_t LittleEndianWord() {
        std::uint32_t word = 0;
        for (int n = 0; n < 4; ++n) {
            word |= std::uint32_t{Byte()} << (8 * n);
        }
        return word;
    }

private:
    std::array<std::uint8_t, 256> s_{};
    std::uint8_t i_ = 0;
    std::uint8_t j_ = 0;
};

} // namespace vantrel::passwords

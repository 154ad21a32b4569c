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
    explicit Rc4(std::span<const std::uint8_t> key) : Rc4() { Mix(key); }
    // The identity permutation, not yet keyed.
    Rc4() {
        for (int n = 0; n < 256; ++n) {
            s_[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(n);
        }
    }
    // The textbook schedule: the same mix, then i and j start over.
    static Rc4 Textbook(std::string_view key) {
        Rc4 rc4({reinterpret_cast<const std::uint8_t*>(key.data()), key.size()});
        rc4.i_ = 0;
        rc4.j_ = 0;
        return rc4;
    }
    // Two fresh states keyed at once: each step of the schedule waits on the one before, so two
    // independent schedules in one loop run in about the time of one.
    static void MixTwo(Rc4& a, std::span<const std::uint8_t> keyA, Rc4& b,
                       std::span<const std::uint8_t> keyB) {
        std::uint8_t i = 0;
        std::uint8_t ja = 0;
        std::uint8_t jb = 0;
        std::size_t ka = 0;
        std::size_t kb = 0;
        for (std::size_t n = 0; n < 256; ++n, ++i) {
            const std::uint8_t sa = a.s_[i];
            const std::uint8_t sb = b.s_[i];
            ja = static_cast<std::uint8_t>(ja + sa + keyA[ka]);
            jb = static_cast<std::uint8_t>(jb + sb + keyB[kb]);
            ka = ka + 1 == keyA.size() ? 0 : ka + 1;
            kb = kb + 1 == keyB.size() ? 0 : kb + 1;
            a.s_[i] = a.s_[ja];
            a.s_[ja] = sa;
            b.s_[i] = b.s_[jb];
            b.s_[jb] = sb;
        }
        a.i_ = b.i_ = 255;
        a.j_ = ja;
        b.j_ = jb;
    }
    // i and j live in locals: the state's bytes may alias them for the compiler, which would
    // otherwise store and reload both at every step; the key index wraps without a division.
    void Mix(std::span<const std::uint8_t> key) {
        std::uint8_t i = i_;
        std::uint8_t j = j_;
        std::size_t k = 0;
        --i;
        for (std::size_t n = 0; n < 256; ++n) {
            ++i;
            const std::uint8_t si = s_[i];
            j = static_cast<std::uint8_t>(j + si + key[k]);
            k = k + 1 == key.size() ? 0 : k + 1;
            s_[i] = s_[j];
            s_[j] = si;
        }
        i_ = i;
        j_ = j;
    }
    std::uint8_t Byte() {
        const std::uint8_t i = ++i_;
        const std::uint8_t si = s_[i];
        const std::uint8_t j = static_cast<std::uint8_t>(j_ + si);
        j_ = j;
        const std::uint8_t sj = s_[j];
        s_[i] = sj;
        s_[j] = si;
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
    // `count` words handed to `each` in turn, for a long run such as a shuffle: i and j stay in
    // registers throughout, where through Byte() every store to the state may alias them and
    // both are stored and reloaded at every byte (half the run's time). `each` must not use
    // this stream.
    template <class Each> void LittleEndianWords(std::size_t count, Each&& each) {
        unsigned i = i_;
        unsigned j = j_;
        const auto byte = [&] {
            i = (i + 1) & 255u;
            const unsigned si = s_[i];
            j = (j + si) & 255u;
            const unsigned sj = s_[j];
            s_[i] = static_cast<std::uint8_t>(sj);
            s_[j] = static_cast<std::uint8_t>(si);
            return std::uint32_t{s_[(si + sj) & 255u]};
        };
        for (std::size_t n = 0; n < count; ++n) {
            std::uint32_t word = byte();
            word |= byte() << 8;
            word |= byte() << 16;
            word |= byte() << 24;
            each(word);
        }
        i_ = static_cast<std::uint8_t>(i);
        j_ = static_cast<std::uint8_t>(j);
    }

private:
    std::array<std::uint8_t, 256> s_{};
    std::uint8_t i_ = 0;
    std::uint8_t j_ = 0;
};

} // namespace vantrel::passwords

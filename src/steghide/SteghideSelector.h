#pragma once
// steghide 0.5.1's choice of samples: a 32-bit seed from the passphrase, a linear congruential
// generator, and a random permutation of the sample positions drawn lazily, one position at a
// time, so that reading the first bits costs only the positions they need.
#include <array>
#include <cassert>
#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantrel {

// The XOR of the four little-endian 32-bit words of MD5(passphrase).
std::uint32_t SteghideSeed(std::string_view passphrase);

class SteghideRandom {
public:
    SteghideRandom() = default;
    explicit SteghideRandom(std::uint32_t seed) : state_(seed) {}

    // A number in [0, n), as steghide makes it: n * (state / 2^32) in doubles, truncated. The
    // double product is rounded to 53 bits, which matters only when the exact product lies
    // within half a unit in its last place below a whole number, that is when the low 32 bits of
    // the integer product are within 2^10 of 2^32; elsewhere the integer product's high word is
    // the same number, without the conversions.
    std::uint32_t Below(std::uint32_t n) {
        state_ = state_ * 1367208549u + 1u;
        const std::uint64_t product = std::uint64_t{n} * state_;
        if (static_cast<std::uint32_t>(product) < 0xFFFFF000u) {
            return static_cast<std::uint32_t>(product >> 32);
        }
        return static_cast<std::uint32_t>(static_cast<double>(n) *
                                          (static_cast<double>(state_) / 4294967296.0));
    }

private:
    std::uint32_t state_ = 0;
};

// What the permutation remembers of the positions drawn so far: X[i] is the position handed out
// i-th, Y[i] the value that stands in for X[i] when a later draw falls on it, and a way to find
// the i with X[i] == v among the first `count`.
//
// Few positions (a header check): two small arrays searched from the front.
class SmallDrawTable {
public:
    static constexpr std::uint32_t kCapacity = 256;
    std::uint32_t& X(std::uint32_t i) { return x_[i]; }
    std::uint32_t& Y(std::uint32_t i) { return y_[i]; }
    void Grow([[maybe_unused]] std::uint32_t count) { assert(count <= kCapacity); }
    void SetX(std::uint32_t i, std::uint32_t v) {
        x_[i] = v;
        seen_[v >> 6 & 3] |= std::uint64_t{1} << (v & 63);
    }
    bool Find(std::uint32_t v, std::uint32_t count, std::uint32_t& index) const {
        // Nearly every lookup misses (the draws spread over the whole cover): the filter answers
        // those without the scan, which was most of a seed check's time.
        if ((seen_[v >> 6 & 3] >> (v & 63) & 1) == 0) {
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            if (x_[i] == v) {
                index = i;
                return true;
            }
        }
        return false;
    }

private:
    // Only entries below the draw count are ever read, so neither array needs clearing.
    std::array<std::uint32_t, kCapacity> x_;
    std::array<std::uint32_t, kCapacity> y_;
    // A bit for every value X has held, by its low eight bits: clear means absent. X entries are
    // only ever set, never cleared, so the filter can only be too full, never miss one.
    std::array<std::uint64_t, 4> seen_{};
};

// Any number of positions (a payload): growing arrays and a hash of X's values.
class LargeDrawTable {
public:
    std::uint32_t& X(std::uint32_t i) { return x_[i]; }
    std::uint32_t& Y(std::uint32_t i) { return y_[i]; }
    void Grow(std::uint32_t count) {
        if (count > x_.size()) {
            x_.resize(count);
            y_.resize(count);
        }
    }
    void SetX(std::uint32_t i, std::uint32_t v) {
        x_[i] = v;
        where_[v] = i;
    }
    bool Find(std::uint32_t v, std::uint32_t count, std::uint32_t& index) const {
        const auto found = where_.find(v);
        if (found == where_.end() || found->second >= count) {
            return false;
        }
        index = found->second;
        return true;
    }

private:
    std::vector<std::uint32_t> x_;
    std::vector<std::uint32_t> y_;
    std::unordered_map<std::uint32_t, std::uint32_t> where_;
};

// The positions 0..range-1 in steghide's order for `seed`. Next() may be called at most `range`
// times (and at most SmallDrawTable::kCapacity times with the small table).
template <typename Table> class SteghidePermutation {
public:
    SteghidePermutation(std::uint32_t seed, std::uint32_t range) : random_(seed), range_(range) {}

    // Carries on after `drawn`, the first positions as `random` drew them, when they were
    // distinct and none below drawn.size(): then steghide's tables hold X[i] = drawn[i] and
    // Y[i] = i, and nothing else needs replaying.
    SteghidePermutation(SteghideRandom random, std::uint32_t range,
                        std::span<const std::uint32_t> drawn)
        : random_(random), range_(range), count_(static_cast<std::uint32_t>(drawn.size())) {
        table_.Grow(count_);
        for (std::uint32_t i = 0; i < count_; ++i) {
            table_.SetX(i, drawn[i]);
            table_.Y(i) = i;
        }
    }

    std::uint32_t Drawn() const { return count_; }

    std::uint32_t Next() {
        const std::uint32_t j = count_++;
        table_.Grow(count_);
        const std::uint32_t k = j + random_.Below(range_ - j);
        std::uint32_t i = 0;
        if (table_.Find(k, j, i)) {
            // k was handed out already: what now stands at k is remembered with it.
            table_.SetX(j, table_.Y(i));
            // steghide leaves Y[j] as its vector made it, zero, when X[j] <= j.
            table_.Y(j) = table_.X(j) > j ? j : 0;
            if (table_.X(i) > j) {
                table_.Y(i) = j;
                std::uint32_t l = 0;
                if (table_.Find(j, j, l)) {
                    table_.Y(i) = table_.Y(l);
                }
            }
        } else {
            table_.SetX(j, k);
            table_.Y(j) = j;
        }
        if (table_.X(j) > j) {
            std::uint32_t l = 0;
            if (table_.Find(table_.Y(j), j, l)) {
                table_.Y(j) = table_.Y(l);
            }
        }
        return table_.X(j);
    }

private:
    SteghideRandom random_;
    std::uint32_t range_;
    std::uint32_t count_ = 0;
    Table table_;
};

} // namespace vantrel

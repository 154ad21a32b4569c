#pragma once
// The check of one seed as steghide itself makes it: a fresh permutation with its hash of drawn
// positions, all 25 bits read before they are compared.
#include "steghide/SteghideFormat.h"

namespace vantrel::bench {

bool NaiveMagicAt(const SteghideCover& cover, std::uint32_t seed);

} // namespace vantrel::bench

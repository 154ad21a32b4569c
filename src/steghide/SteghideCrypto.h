#pragma once
// steghide 0.5.1's encryption as it reaches the file: libmcrypt's algorithms and modes, a key made
// by libmhash's "mcrypt" key generator from MD5, and a random IV stored before the ciphertext.
#include "image/Result.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vantrel {

inline constexpr int kSteghideAlgorithms = 23; // "none" and libmcrypt's 22, by steghide's numbers
inline constexpr int kSteghideRijndael128 = 2;
inline constexpr int kSteghideModeCbc = 1;
inline constexpr int kSteghideModeStream = 7;

// Names as steghide spells them; "unknown" outside its tables.
std::string_view SteghideAlgorithmName(int algorithm);
std::string_view SteghideModeName(int mode);

// Whether steghide could have written this pair: stream ciphers only in "stream" mode, block
// ciphers only in the other seven, and anything with "none".
bool SteghideAlgorithmTakesMode(int algorithm, int mode);

// Whether Debian's libmcrypt, and so Debian's steghide, has the algorithm (safer-sk64,
// safer-sk128, threeway and panama are missing there).
bool SteghideOfferedByDebian(int algorithm);

// The bits steghide stores for `plainBits` bits of plain data: the IV, then the data padded to
// whole cipher blocks. For "none" the plain bits themselves.
std::uint64_t SteghideEncryptedBits(int algorithm, int mode, std::uint64_t plainBits);

// libmhash's KEYGEN_MCRYPT with MD5 and no salt: MD5(p), then MD5(p + the key so far), ... until
// `size` bytes. Like libmhash, the passphrase ends at its first NUL.
std::vector<std::uint8_t> SteghideKey(std::string_view passphrase, std::size_t size);

// Whether SteghideDecrypt can read this pair: rijndael-128, tripledes, des, cast-128, blowfish
// and rc2 (the last four from libcrypto's legacy provider), in ecb, cbc, cfb, ofb, ncfb, nofb and
// ctr. Refused: the ciphers libcrypto lacks (twofish, rijndael-192 and -256 with their wider
// blocks, saferplus, xtea, serpent, safer-sk64/128, cast-256, loki97, gost, threeway) and the
// stream ciphers (enigma, arcfour, panama, wake).
bool SteghideCanDecrypt(int algorithm, int mode);

// The plain bytes of `stored` (IV first where the mode has one), as many as whole blocks give.
Result<std::vector<std::uint8_t>> SteghideDecrypt(int algorithm, int mode,
                                                  std::string_view passphrase,
                                                  std::span<const std::uint8_t> stored);

} // namespace vantrel

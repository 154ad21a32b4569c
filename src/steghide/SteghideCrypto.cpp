#include "steghide/SteghideCrypto.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace vantrel {

namespace {

struct AlgorithmFacts {
    std::string_view name;
    int blockBytes; // 1 for stream ciphers
    int streamIvBytes;
    const char* libcryptoEcb; // the block cipher in ECB, or null where libcrypto has none usable
    int keyBytes;
    bool legacy = false; // in libcrypto's legacy provider
};

// steghide's numbering, libmcrypt's sizes (mcrypt_enc_get_block_size, the IV of its stream
// ciphers, mcrypt_enc_get_key_size: steghide always asks for the largest key).
constexpr std::array<AlgorithmFacts, kSteghideAlgorithms> kAlgorithms{{
    {"none", 1, 0, nullptr, 0},
    {"twofish", 16, 0, nullptr, 32},
    {"rijndael-128", 16, 0, "AES-256-ECB", 32},
    {"rijndael-192", 24, 0, nullptr, 32},
    {"rijndael-256", 32, 0, nullptr, 32},
    {"saferplus", 16, 0, nullptr, 32},
    {"rc2", 8, 0, "RC2-ECB", 128, true},
    {"xtea", 8, 0, nullptr, 16},
    {"serpent", 16, 0, nullptr, 32},
    {"safer-sk64", 8, 0, nullptr, 8},
    {"safer-sk128", 8, 0, nullptr, 16},
    {"cast-256", 16, 0, nullptr, 32},
    {"loki97", 16, 0, nullptr, 32},
    {"gost", 8, 0, nullptr, 32},
    {"threeway", 12, 0, nullptr, 12},
    {"cast-128", 8, 0, "CAST5-ECB", 16, true},
    {"blowfish", 8, 0, "BF-ECB", 56, true},
    {"des", 8, 0, "DES-ECB", 8, true},
    {"tripledes", 8, 0, "DES-EDE3-ECB", 24},
    {"enigma", 1, 0, nullptr, 13},
    {"arcfour", 1, 32, nullptr, 256},
    {"panama", 1, 32, nullptr, 32},
    {"wake", 1, 32, nullptr, 32},
}};

constexpr std::array<std::string_view, 8> kModes{"ecb",  "cbc",  "ofb", "cfb",
                                                 "nofb", "ncfb", "ctr", "stream"};
enum Mode { kEcb, kCbc, kOfb8, kCfb8, kOfb, kCfb, kCtr };

bool Known(int algorithm) {
    return algorithm >= 0 && algorithm < kSteghideAlgorithms;
}

// libmcrypt runs every mode on the cipher's raw block function; so do we, with libcrypto's
// cipher in ECB without padding as that function.
// The old ciphers live in libcrypto's legacy provider; a library context of our own loads it, so
// the process's default context stays as every other caller expects it.
OSSL_LIB_CTX* LegacyContext() {
    static OSSL_LIB_CTX* const context = [] {
        OSSL_LIB_CTX* made = OSSL_LIB_CTX_new();
        if (made && (!OSSL_PROVIDER_load(made, "default") || !OSSL_PROVIDER_load(made, "legacy"))) {
            OSSL_LIB_CTX_free(made);
            made = nullptr;
        }
        return made;
    }();
    return context;
}

class BlockCipher {
public:
    BlockCipher(const AlgorithmFacts& facts, std::span<const std::uint8_t> key, bool decrypt)
        : context_(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free) {
        OSSL_LIB_CTX* library = facts.legacy ? LegacyContext() : nullptr;
        if (facts.legacy && !library) {
            return;
        }
        std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> cipher(
            EVP_CIPHER_fetch(library, facts.libcryptoEcb, nullptr), &EVP_CIPHER_free);
        const int direction = decrypt ? 0 : 1;
        ok_ = context_ && cipher &&
              EVP_CipherInit_ex2(context_.get(), cipher.get(), nullptr, nullptr, direction,
                                 nullptr) == 1 &&
              EVP_CIPHER_CTX_set_key_length(context_.get(), static_cast<int>(key.size())) == 1;
        // libmcrypt's RC2 uses every bit of its 128-byte key.
        if (ok_ && facts.name == "rc2") {
            ok_ =
                EVP_CIPHER_CTX_ctrl(context_.get(), EVP_CTRL_SET_RC2_KEY_BITS, 1024, nullptr) == 1;
        }
        ok_ = ok_ &&
              EVP_CipherInit_ex2(context_.get(), nullptr, key.data(), nullptr, direction,
                                 nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(context_.get(), 0) == 1;
    }
    bool ok() const { return ok_; }
    // One block in place.
    bool Apply(std::uint8_t* block, int size) {
        int written = 0;
        return EVP_CipherUpdate(context_.get(), block, &written, block, size) == 1 &&
               written == size;
    }

private:
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context_;
    bool ok_ = false;
};

} // namespace

std::string_view SteghideAlgorithmName(int algorithm) {
    return Known(algorithm) ? kAlgorithms[static_cast<std::size_t>(algorithm)].name : "unknown";
}

std::string_view SteghideModeName(int mode) {
    return mode >= 0 && mode < 8 ? kModes[static_cast<std::size_t>(mode)] : "unknown";
}

bool SteghideAlgorithmTakesMode(int algorithm, int mode) {
    if (!Known(algorithm) || mode < 0 || mode > 7) {
        return false;
    }
    if (algorithm == 0) {
        return true;
    }
    const bool stream = kAlgorithms[static_cast<std::size_t>(algorithm)].blockBytes == 1;
    return stream == (mode == kSteghideModeStream);
}

bool SteghideOfferedByDebian(int algorithm) {
    return Known(algorithm) && algorithm != 9 && algorithm != 10 && algorithm != 14 &&
           algorithm != 21;
}

std::uint64_t SteghideEncryptedBits(int algorithm, int mode, std::uint64_t plainBits) {
    if (!Known(algorithm) || algorithm == 0) {
        return plainBits;
    }
    const AlgorithmFacts& facts = kAlgorithms[static_cast<std::size_t>(algorithm)];
    const std::uint64_t blockBits = 8u * static_cast<std::uint64_t>(facts.blockBytes);
    const bool stream = facts.blockBytes == 1;
    const std::uint64_t ivBits =
        mode == kEcb && !stream
            ? 0
            : 8u * static_cast<std::uint64_t>(stream ? facts.streamIvBytes : facts.blockBytes);
    return ivBits + (plainBits + blockBits - 1) / blockBits * blockBits;
}

std::vector<std::uint8_t> SteghideKey(std::string_view passphrase, std::size_t size) {
    passphrase = passphrase.substr(0, passphrase.find('\0'));
    std::vector<std::uint8_t> key;
    key.reserve(size + 16);
    while (key.size() < size) {
        std::string input(passphrase);
        input.append(key.begin(), key.end());
        std::array<std::uint8_t, 16> digest{};
        unsigned int length = 0;
        EVP_Digest(input.data(), input.size(), digest.data(), &length, EVP_md5(), nullptr);
        key.insert(key.end(), digest.begin(), digest.end());
    }
    key.resize(size);
    return key;
}

bool SteghideCanDecrypt(int algorithm, int mode) {
    return algorithm == 0 ||
           (Known(algorithm) && kAlgorithms[static_cast<std::size_t>(algorithm)].libcryptoEcb &&
            mode >= kEcb && mode <= kCtr);
}

Result<std::vector<std::uint8_t>> SteghideDecrypt(int algorithm, int mode,
                                                  std::string_view passphrase,
                                                  std::span<const std::uint8_t> stored) {
    if (algorithm == 0) {
        return std::vector<std::uint8_t>(stored.begin(), stored.end());
    }
    if (!SteghideCanDecrypt(algorithm, mode)) {
        return Failure("steghide's " + std::string(SteghideAlgorithmName(algorithm)) + " in " +
                       std::string(SteghideModeName(mode)) +
                       " mode has no libcrypto cipher here; the data stays encrypted");
    }
    const AlgorithmFacts& facts = kAlgorithms[static_cast<std::size_t>(algorithm)];
    const std::size_t block = static_cast<std::size_t>(facts.blockBytes);
    const std::size_t ivBytes = mode == kEcb ? 0 : block;
    if (stored.size() < ivBytes || (stored.size() - ivBytes) % block != 0) {
        return Failure("the encrypted data is not whole cipher blocks");
    }
    const std::vector<std::uint8_t> key =
        SteghideKey(passphrase, static_cast<std::size_t>(facts.keyBytes));
    // Only ECB and CBC run the cipher backwards; the feedback modes encrypt a register.
    BlockCipher cipher(facts, key, mode == kEcb || mode == kCbc);
    if (!cipher.ok()) {
        return Failure("libcrypto has no " + std::string(facts.libcryptoEcb));
    }
    std::vector<std::uint8_t> reg(stored.begin(), stored.begin() + ivBytes);
    std::vector<std::uint8_t> plain(stored.begin() + ivBytes, stored.end());
    std::vector<std::uint8_t> work(block);
    const int blockSize = static_cast<int>(block);
    bool ok = true;
    if (mode == kCfb8 || mode == kOfb8) {
        // One byte a step: the register's first enciphered byte is the key byte, and the
        // register shifts in the cipher byte (CFB) or that key byte (OFB).
        for (std::uint8_t& byte : plain) {
            std::copy(reg.begin(), reg.end(), work.begin());
            ok = ok && cipher.Apply(work.data(), blockSize);
            std::rotate(reg.begin(), reg.begin() + 1, reg.end());
            reg.back() = mode == kCfb8 ? byte : work[0];
            byte ^= work[0];
        }
    } else {
        for (std::size_t at = 0; at < plain.size() && ok; at += block) {
            std::uint8_t* data = plain.data() + at;
            switch (mode) {
            case kEcb:
                ok = cipher.Apply(data, blockSize);
                break;
            case kCbc:
                std::copy(data, data + block, work.begin());
                ok = cipher.Apply(data, blockSize);
                for (std::size_t i = 0; i < block; ++i) {
                    data[i] ^= reg[i];
                }
                reg.swap(work);
                break;
            case kCfb:
                std::copy(reg.begin(), reg.end(), work.begin());
                ok = cipher.Apply(work.data(), blockSize);
                std::copy(data, data + block, reg.begin());
                for (std::size_t i = 0; i < block; ++i) {
                    data[i] ^= work[i];
                }
                break;
            case kOfb:
                ok = cipher.Apply(reg.data(), blockSize);
                for (std::size_t i = 0; i < block; ++i) {
                    data[i] ^= reg[i];
                }
                break;
            case kCtr:
                std::copy(reg.begin(), reg.end(), work.begin());
                ok = cipher.Apply(work.data(), blockSize);
                for (std::size_t i = 0; i < block; ++i) {
                    data[i] ^= work[i];
                }
                // The whole register is one big-endian counter.
                for (std::size_t i = block; i-- > 0 && ++reg[i] == 0;) {
                }
                break;
            default:
                ok = false;
            }
        }
    }
    if (!ok) {
        return Failure("libcrypto failed to decrypt");
    }
    return plain;
}

} // namespace vantrel

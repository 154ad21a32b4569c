#include "steghide/SteghideSelector.h"

#include <openssl/evp.h>

namespace vantrel {

std::uint32_t SteghideSeed(std::string_view passphrase) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(passphrase.data(), passphrase.size(), digest, &length, EVP_md5(), nullptr);
    std::uint32_t seed = 0;
    for (int word = 0; word < 4; ++word) {
        for (int byte = 0; byte < 4; ++byte) {
            seed ^= static_cast<std::uint32_t>(digest[word * 4 + byte]) << (8 * byte);
        }
    }
    return seed;
}

} // namespace vantrel

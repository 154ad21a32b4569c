#include "passwords/Md5.h"

// OpenSSL's low-level MD5, deprecated in version 3 in favour of EVP, keeps its context on the
// stack: a password's hash is one or two 64-byte blocks, and EVP's fetch, init and final per call
// would cost more than the hash itself.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

namespace vantrel::passwords {

std::array<std::uint8_t, 16> Md5(std::string_view prefix, std::string_view text) {
    MD5_CTX context;
    MD5_Init(&context);
    MD5_Update(&context, prefix.data(), prefix.size());
    MD5_Update(&context, text.data(), text.size());
    std::array<std::uint8_t, 16> digest{};
    MD5_Final(digest.data(), &context);
    return digest;
}

} // namespace vantrel::passwords

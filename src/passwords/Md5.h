#pragma once
// MD5 of a prefix and a password, the hash several tools key their walks with. One context a
// thread and one fetched digest, since fetching and allocating per password would cost more
// than the hash.
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace vantrel::passwords {

inline std::array<std::uint8_t, 16> Md5(std::string_view prefix, std::string_view text) {
    static const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md5(
        EVP_MD_fetch(nullptr, "MD5", nullptr), &EVP_MD_free);
    thread_local const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(
        EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    std::array<std::uint8_t, 16> digest{};
    unsigned int length = 0;
    if (!md5 || !context || EVP_DigestInit_ex2(context.get(), md5.get(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), prefix.data(), prefix.size()) != 1 ||
        EVP_DigestUpdate(context.get(), text.data(), text.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
        throw std::runtime_error("libcrypto has no MD5");
    }
    return digest;
}

} // namespace vantrel::passwords

#pragma once
// A word list against every password tool that applies to one cover: the empty password and the
// file's name (with and without its extension) first, then the list streamed a block at a time,
// one line a password (a final CR dropped), on every core. A tool with a verified hit is tried no
// further unless the options say to keep going; the attack ends when every tool has one.
#include "passwords/PasswordTool.h"

#include <iosfwd>
#include <span>

namespace vantrel::passwords {

// Candidates kept for the listing, per tool; all of them are counted.
inline constexpr std::size_t kCandidatesKept = 16;

// `words` may be null (the first passwords only).
PasswordAttackResult WordListAttack(std::span<const PasswordTool* const> tools, std::istream* words,
                                    const PasswordAttackOptions& options);

} // namespace vantrel::passwords

#pragma once
// The readers of each password tool behind the one interface the word-list attack drives.
#include "passwords/F5stegoFormat.h"
#include "passwords/GifshuffleFormat.h"
#include "passwords/OutguessFormat.h"
#include "passwords/PasswordTool.h"
#include "passwords/StegosuiteFormat.h"
#include "steghide/SteghideCover.h"

#include <memory>

namespace vantrel::passwords {

// OutGuess 0.4 stores no checksum: a password is verified only by a payload the payload checks
// recognise. A header that fits, with a seed in OutGuess's default search range (below 256),
// over bytes they do not recognise, is a candidate; outside that range it is not reported.
std::unique_ptr<PasswordTool> MakeOutguessTool(OutguessCover cover);

// gifshuffle 2.0 stores nothing to check either, and every password reads some message: only a
// message the payload checks recognise is reported, always verified. The empty password reads
// the message of gifshuffle run without -p.
std::unique_ptr<PasswordTool> MakeGifshuffleTool(std::span<const GifColour> table);

// f5stegojs stores no checksum either, and a wrong password's length fits the cover more often
// than not on a large one: verified only by a payload the payload checks recognise. A header that
// fits with the code f5stegojs itself would pick for that length, over bytes they do not
// recognise, is a candidate.
std::unique_ptr<PasswordTool> MakeF5stegoTool(F5stegoCover cover);

// stegosuite 0.9 on BMP and PNG pixels: verified by the chain its payload must pass (a length
// that fits, AES-CTR under PBKDF2, a deflate stream whose Adler-32 holds, blocks that fill it);
// nothing short of that is reported.
std::unique_ptr<PasswordTool> MakeStegosuiteTool(StegosuiteCover cover);
std::unique_ptr<PasswordTool> MakeStegosuiteTool(StegosuiteJpegCover cover);

// steghide 0.5.1 through its own reader: verified by its CRC, or by its inflate where it stored
// none; a header over a cipher we do not run, or an unchecked uncompressed payload, is a
// candidate.
std::unique_ptr<PasswordTool> MakeSteghideTool(SteghideCover cover);

} // namespace vantrel::passwords

#pragma once
// The batch scan of a tree: the breadth-first walk over every file the decoder knows by name,
// or a list of files, optionally one shard of it, every file decoded through the isolated decoder
// pool and analysed, several at a time, with the rows handed back in list order.
#include "blind/BlindAttacks.h"
#include "image/Result.h"
#include "jpeg/JpegVerdict.h"
#include "steghide/SteghideAttack.h"
#include "structure/FileStructure.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct ScanFile {
    std::string path;     // as the file system is given it
    std::string relative; // below the scanned directory (or as listed); what the shard hashes
};

// FNV-1a, 64 bits, over the bytes of the relative path: stable across machines and runs, so
// every host of a cluster agrees which shard a file is in.
std::uint64_t ShardHash(std::string_view relative);
// Shard K of N (K = 1..N) holds the paths whose hash is K − 1 modulo N.
bool InShard(std::string_view relative, int shardIndex, int shardCount);

struct ScanSelection {
    // Wildcard(s) for the file name, ";"-separated, narrowing what the scan takes; empty keeps
    // every file.
    std::string pattern;
    int shardIndex = 1; // 1..shardCount
    int shardCount = 1;
};

// The files under the directory whose names the decoder knows (in any letter case), in walk order
// (unreadable directories reported and passed over), those the selection keeps.
std::vector<ScanFile> FilesUnder(const std::string& directory, const ScanSelection& selection,
                                 const std::function<void(const std::string&)>& problem = {});
// The listed paths, those the selection keeps; blank lines are skipped.
std::vector<ScanFile> FilesListed(const std::vector<std::string>& paths,
                                  const ScanSelection& selection);

// The word-list attack's answer for one file.
struct ScanSteghide {
    bool applies = false; // a JPEG or a BMP, the covers steghide takes
    std::optional<SteghidePassphraseHit> hit;
    std::string error; // the cover could not be read
};

struct ScanRow {
    std::string path;
    // Or why the file could not be analysed, naming it. `suspicious` counts the structure's
    // anomalies and a steghide hit as well as the attacks' verdict.
    Result<BlindResult> result;
    // The container walk's own failure leaves the analysis standing.
    Result<structure::FileStructure> structure = Failure("not walked");
    std::optional<ScanSteghide> steghide; // only with a word list
};

struct ScanOptions {
    int jobs = 1;
    // One passphrase a line, held in memory for the whole scan; none: no steghide attack.
    std::optional<std::string> steghideWords;
};

// Decodes, analyses and walks the files on `jobs` threads. `row` is called on the calling
// thread once a file, in list order; when it returns false the scan stops after the files being
// analysed. Returns the number of rows delivered.
std::size_t ScanFiles(const std::vector<ScanFile>& files, const ScanOptions& options,
                      const std::function<bool(const ScanRow&)>& row);
inline std::size_t ScanFiles(const std::vector<ScanFile>& files, int jobs,
                             const std::function<bool(const ScanRow&)>& row) {
    return ScanFiles(files, ScanOptions{jobs, std::nullopt}, row);
}

// A JPEG stores DCT coefficients, not the pixels the LSB attacks model: it gets the coefficient
// attacks instead.
struct JpegBlindResult {
    JpegAnalysis analysis;
    JpegVerdict verdict;
};

// What the pixel attacks read on a JPEG.
inline constexpr const char* kNotApplicableToJpeg = "not applicable to JPEG data";

// A file with a JPEG signature (`HasJpegSignature`) gets the coefficient attacks; a JPEG whose
// coefficients cannot be read is a failure rather than a picture for the pixel attacks.
// The JPEG attacks on the file's coefficients, as a BlindResult with `jpeg` set.
Result<BlindResult> AnalyseJpegFile(const std::string& path);

// The analysis of one file: the JPEG attacks for a JPEG, the pixel attacks otherwise.
Result<BlindResult> AnalyseFile(const std::string& path, const BlindOptions& options = {});

} // namespace vantrel

// The file structure on the command line: the container walked in a decoder process, reported,
// and the regions worth carving written out.
#include "cli/Cli.h"
#include "structure/CarvedFiles.h"
#include "structure/FileStructure.h"
#include "structure/LoadStructure.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SaveCarved(const std::string& path, const structure::FileStructure& s,
                                    const fs::path& directory) {
    std::vector<std::string> saved;
    const std::string stem = fs::path(path).filename().string();
    for (std::size_t i = 0; i < s.carved.size(); ++i) {
        const structure::Carved& carved = s.carved[i];
        const fs::path out = directory / (stem + "." + std::to_string(i + 1) + "-" +
                                          std::to_string(carved.offset) + "." + carved.type);
        const Result<std::uint64_t> written = structure::SaveCarved(path, carved, out.string());
        if (!written) {
            throw InputError(written.error());
        }
        saved.push_back(out.string());
    }
    return saved;
}

int RunStructure(const Arguments& args) {
    bool json = false;
    std::string carveDirectory;
    const Arguments paths =
        TakeOperands(args,
                     {Flag("--json", [&] { json = true; }),
                      Valued(
                          "--carve", [&](const std::string& dir) { carveDirectory = dir; },
                          "--carve takes a DIR")},
                     Unlisted::Dash, "structure takes at least one FILE");
    if (!carveDirectory.empty()) {
        std::error_code code;
        fs::create_directories(carveDirectory, code);
        if (!fs::is_directory(carveDirectory)) {
            throw InputError("could not make the folder " + carveDirectory);
        }
    }
    return EachPath(paths, [&](const std::string& path) {
        const Result<structure::FileStructure> walked = structure::LoadFileStructure(path);
        if (!walked) {
            std::cerr << "vantrel-cli: " << walked.error() << '\n';
            return false;
        }
        const std::vector<std::string> saved = carveDirectory.empty()
                                                   ? std::vector<std::string>{}
                                                   : SaveCarved(path, *walked, carveDirectory);
        if (json) {
            std::cout << structure::StructureJson(*walked, path, saved) << std::endl;
        } else {
            std::cout << structure::StructureReport(*walked, path);
            for (const std::string& file : saved) {
                std::cout << "saved " << file << '\n';
            }
        }
        return true;
    });
}

} // namespace

std::vector<Command> StructureCommands() {
    return {{"structure", "FILE... [--json] [--carve DIR]",
             "every part of the file's container, what lies after its end, metadata texts, and "
             "the regions worth carving",
             RunStructure}};
}

} // namespace vantrel::cli

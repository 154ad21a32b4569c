// Prints the structure of files, for making and checking fixtures by hand:
// structure_dump [--json] FILE...
#include "structure/FileStructure.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    bool json = false;
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
            continue;
        }
        std::ifstream in(arg, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        if (!in.good() && !in.eof()) {
            std::cerr << arg << ": cannot read\n";
            status = 1;
            continue;
        }
        const auto result = vantrel::structure::WalkStructure(bytes);
        if (!result) {
            std::cerr << arg << ": " << result.error() << "\n";
            status = 1;
            continue;
        }
        std::cout << (json ? vantrel::structure::StructureJson(*result, arg)
                           : vantrel::structure::StructureReport(*result, arg))
                  << "\n";
    }
    return status;
}

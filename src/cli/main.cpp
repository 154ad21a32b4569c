#include "cli/Cli.h"

#include <cstdio>
#include <exception>
#include <iostream>

namespace {

using vantrel::cli::Command;

std::vector<Command> AllCommands() {
    std::vector<Command> all;
    for (auto part : {vantrel::cli::ImageCommands, vantrel::cli::OneWindowCommands,
                      vantrel::cli::MultiWindowCommands, vantrel::cli::SearchCommands,
                      vantrel::cli::FileInfoCommands, vantrel::cli::ExtractCommands,
                      vantrel::cli::BlindCommands, vantrel::cli::JpegCommands,
                      vantrel::cli::StructureCommands, vantrel::cli::SteghideCommands,
                      vantrel::cli::PasswordCommands, vantrel::cli::VerdictCommands}) {
        for (Command& command : part()) {
            all.push_back(std::move(command));
        }
    }
    return all;
}

void PrintHelp(std::ostream& out, const std::vector<Command>& commands) {
    out << "Usage: vantrel-cli COMMAND ARGUMENTS...\n"
           "       vantrel-cli --help | --version\n"
           "The analyses of Vantrel on image files, without a window.\n\nCommands:\n";
    for (const Command& command : commands) {
        out << "  " << command.name << ' ' << command.usage << "\n      " << command.summary
            << '\n';
    }
    out << "\nExit status: 0 success, 1 an input could not be read or decoded, 2 usage error.\n";
}

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<Command> commands = AllCommands();
    if (argc < 2) {
        PrintHelp(std::cerr, commands);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(std::cout, commands);
        return 0;
    }
    if (name == "--version") {
        std::cout << "vantrel-cli " << VANTREL_VERSION << '\n';
        return 0;
    }
    for (const Command& command : commands) {
        if (command.name != name) {
            continue;
        }
        try {
            return command.run(vantrel::cli::Arguments(argv + 2, argv + argc));
        } catch (const vantrel::cli::UsageError& error) {
            std::cerr << "vantrel-cli " << name << ": " << error.what() << "\nusage: vantrel-cli "
                      << name << ' ' << command.usage << '\n';
            return 2;
        } catch (const vantrel::cli::InputError& error) {
            std::cerr << "vantrel-cli: " << error.what() << '\n';
            return 1;
        } catch (const std::exception& error) {
            std::cerr << "vantrel-cli: " << error.what() << '\n';
            return 1;
        }
    }
    std::cerr << "vantrel-cli: unknown command '" << name << "' (see vantrel-cli --help)\n";
    return 2;
}

#include "cli/Cli.h"

namespace vantrel::cli {

std::vector<Command> FileInfoCommands() { return {}; }

} // namespace vantrel::cli

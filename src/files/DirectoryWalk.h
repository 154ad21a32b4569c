#pragma once
// Directory listing and the breadth-first walk the similar image search and the tree scan share.
// Paths are byte strings joined with "/" and never a doubled separator; every directory is entered
// once, known by its device and inode, so links back to an ancestor cannot make a walk endless.
#include "files/FileNames.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

// directory + "/" + name, without doubling a separator the directory already ends in ("/" + "a"
// gives "/a").
std::string JoinPath(std::string_view directory, std::string_view name);

// The path without repeated, "." or trailing separators ("/a//b/./" gives "/a/b", "//" gives
// "/"); ".." is kept, since it may pass through a link.
std::string NormalPath(std::string_view path);

// Which file a path names (links followed).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};
std::optional<FileIdentity> IdentityOf(const std::string& path);

struct DirectoryListing {
    bool readable = false;
    std::string error; // why it could not be read
    // Regular files whose names the filter keeps, and directories; links followed, hidden entries
    // (names starting with ".") left out, each list sorted by name.
    std::vector<std::string> files;
    std::vector<std::pair<std::string, FileIdentity>> directories;
};
DirectoryListing ListDirectory(const std::string& directory,
                               const NameFilter& keep = IsSearchImageName);

// One directory of the walk with the names of its files, to be tested in this order.
struct WalkStep {
    std::string directory;
    std::vector<std::string> files;
};

// Breadth first: the start directory, then its subdirectories in name order, then theirs, level
// by level. A directory that cannot be read is reported and passed over.
class BreadthFirstWalk {
public:
    using ProblemSink = std::function<void(const std::string& message)>;

    explicit BreadthFirstWalk(const std::string& start, ProblemSink problems = {},
                              NameFilter keep = IsSearchImageName);

    // The next directory in walk order; nothing once the tree is done.
    std::optional<WalkStep> next();

    // Directories found and not yet listed.
    std::size_t directoriesLeft() const { return queue_.size(); }

private:
    void report(const std::string& message) const;

    std::deque<std::string> queue_;
    std::set<FileIdentity> entered_;
    ProblemSink problems_;
    NameFilter keep_;
};

} // namespace vantrel

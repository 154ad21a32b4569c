#include "files/DirectoryWalk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>

namespace vantrel {
namespace {

struct DirCloser {
    void operator()(DIR* directory) const noexcept { closedir(directory); }
};

std::string ErrorText(int error) {
    return std::strerror(error);
}

} // namespace

std::string JoinPath(std::string_view directory, std::string_view name) {
    std::string joined(directory);
    if (joined.empty() || joined.back() != '/') {
        joined += '/';
    }
    joined += name;
    return joined;
}

std::string NormalPath(std::string_view path) {
    const bool absolute = !path.empty() && path.front() == '/';
    std::string normal = absolute ? "/" : "";
    std::size_t begin = 0;
    while (begin < path.size()) {
        std::size_t end = path.find('/', begin);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(begin, end - begin);
        if (!part.empty() && part != ".") {
            if (!normal.empty() && normal.back() != '/') {
                normal += '/';
            }
            normal += part;
        }
        begin = end + 1;
    }
    return normal.empty() ? "." : normal;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

DirectoryListing ListDirectory(const std::string& directory, const NameFilter& keep) {
    DirectoryListing listing;
    const std::unique_ptr<DIR, DirCloser> handle(opendir(directory.c_str()));
    if (!handle) {
        listing.error = ErrorText(errno);
        return listing;
    }
    while (true) {
        errno = 0;
        const dirent* entry = readdir(handle.get());
        if (entry == nullptr) {
            if (errno != 0) {
                listing.error = ErrorText(errno);
                return listing;
            }
            break;
        }
        const std::string name = entry->d_name;
        if (name.empty() || name.front() == '.') {
            continue; // ".", ".." and hidden entries
        }
        struct stat status {};
        if (stat(JoinPath(directory, name).c_str(), &status) != 0) {
            continue; // gone since the listing, or a link to nothing: neither file nor directory
        }
        if (S_ISDIR(status.st_mode)) {
            listing.directories.emplace_back(
                name, FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                                   static_cast<std::uint64_t>(status.st_ino)});
        } else if (S_ISREG(status.st_mode) && keep(name)) {
            // Only regular files: reading a pipe or a device that happens to carry an image
            // name would hold the walk forever.
            listing.files.push_back(name);
        }
    }
    std::sort(listing.files.begin(), listing.files.end());
    std::sort(listing.directories.begin(), listing.directories.end());
    listing.readable = true;
    return listing;
}

BreadthFirstWalk::BreadthFirstWalk(const std::string& start, ProblemSink problems, NameFilter keep)
    : problems_(std::move(problems)), keep_(std::move(keep)) {
    const std::string directory = NormalPath(start);
    if (const std::optional<FileIdentity> identity = IdentityOf(directory)) {
        entered_.insert(*identity);
    }
    queue_.push_back(directory);
}

void BreadthFirstWalk::report(const std::string& message) const {
    if (problems_) {
        problems_(message);
    }
}

std::optional<WalkStep> BreadthFirstWalk::next() {
    while (!queue_.empty()) {
        std::string directory = std::move(queue_.front());
        queue_.pop_front();
        DirectoryListing listing = ListDirectory(directory, keep_);
        if (!listing.readable) {
            report("Skipped directory " + directory + ": " + listing.error);
            continue;
        }
        for (const auto& [name, identity] : listing.directories) {
            if (entered_.insert(identity).second) {
                queue_.push_back(JoinPath(directory, name));
            }
        }
        return WalkStep{std::move(directory), std::move(listing.files)};
    }
    return std::nullopt;
}

} // namespace vantrel

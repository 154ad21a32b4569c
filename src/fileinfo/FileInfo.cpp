#include "fileinfo/FileInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <utility>

namespace vantrel {
namespace {

bool IsSeparator(char c) {
    return c == '/';
}

// What one metadata query of the path gives; `found` false when the path cannot be queried.
struct PathFacts {
    bool found = false;
    bool directory = false;
    bool regularFile = false;
    bool writable = false;
    std::int64_t size = 0;
    std::time_t accessed = 0;
    std::time_t created = 0; // 0 where the file system keeps no birth time
    std::time_t modified = 0;
};

// Write permission of the permission class the user falls in. Root may write anyway, but the
// read-only attribute describes the file, not what its current reader may override.
bool UserMayWrite(unsigned mode, unsigned owner, unsigned group) {
    if (owner == geteuid()) {
        return (mode & S_IWUSR) != 0;
    }
    if (group == getegid()) {
        return (mode & S_IWGRP) != 0;
    }
    return (mode & S_IWOTH) != 0;
}

PathFacts QueryPath(const std::string& path) {
    PathFacts facts;
    struct statx details {};
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
              &details) == 0) {
        facts.found = true;
        facts.directory = S_ISDIR(details.stx_mode);
        facts.regularFile = S_ISREG(details.stx_mode);
        facts.writable = UserMayWrite(details.stx_mode, details.stx_uid, details.stx_gid);
        facts.size = static_cast<std::int64_t>(details.stx_size);
        facts.accessed = static_cast<std::time_t>(details.stx_atime.tv_sec);
        facts.modified = static_cast<std::time_t>(details.stx_mtime.tv_sec);
        if ((details.stx_mask & STATX_BTIME) != 0) {
            facts.created = static_cast<std::time_t>(details.stx_btime.tv_sec);
        }
        return facts;
    }
    // Kernels without statx still answer stat; they keep no birth time.
    struct stat basic {};
    if (stat(path.c_str(), &basic) == 0) {
        facts.found = true;
        facts.directory = S_ISDIR(basic.st_mode);
        facts.regularFile = S_ISREG(basic.st_mode);
        facts.writable = UserMayWrite(basic.st_mode, basic.st_uid, basic.st_gid);
        facts.size = static_cast<std::int64_t>(basic.st_size);
        facts.accessed = basic.st_atim.tv_sec;
        facts.modified = basic.st_mtim.tv_sec;
    }
    return facts;
}

// The last component of the path, trailing separators ignored.
std::string LastComponent(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1])) {
        --end;
    }
    std::size_t begin = end;
    while (begin > 0 && !IsSeparator(path[begin - 1])) {
        --begin;
    }
    return path.substr(begin, end - begin);
}

std::int32_t AttributeMask(const std::string& path, const PathFacts& facts) {
    if (!facts.found) {
        return -1;
    }
    std::int32_t mask = 0;
    if (!facts.writable) {
        mask |= kAttributeReadOnly;
    }
    const std::string name = LastComponent(path);
    if (name.size() > 1 && name[0] == '.' && name != "..") {
        mask |= kAttributeHidden;
    }
    if (facts.directory) {
        mask |= kAttributeDirectory;
    }
    return mask == 0 ? kAttributeNormal : mask;
}

std::string FormatTm(const char* format, const std::tm& time) {
    std::array<char, 128> buffer{};
    const std::size_t length = std::strftime(buffer.data(), buffer.size(), format, &time);
    return std::string(buffer.data(), length);
}

} // namespace

void SplitPath(const std::string& path, std::string& filename, std::string& directory) {
    std::size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1])) {
        --cut;
    }
    directory = path.substr(0, cut);
    filename = path.substr(cut);
}

std::string FileTypeName(std::int32_t code) {
    switch (code) {
    case 1:
        return "Application";
    case 2:
        return "DLL Library";
    case 3:
        return "Driver";
    case 4:
        return "Font";
    case 5:
        return "VXD File";
    case 7:
        return "Static Library";
    default:
        return "Unknown";
    }
}

std::string FormatDateTime(std::time_t time) {
    std::tm local{};
    if (time == 0) {
        return FormatTm("%X", local);
    }
    if (localtime_r(&time, &local) == nullptr) {
        return FormatTm("%X", std::tm{});
    }
    const std::string date = FormatTm("%x", local);
    if (local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0) {
        return date;
    }
    return date + " " + FormatTm("%X", local);
}

bool GetFileInformation(const std::string& path, FileInfoRecord& record) {
    // No version resources here: the type stays "Unknown" with code 0, numbers and strings
    // stay empty.
    record.FullFilePath = path;
    SplitPath(path, record.Filename, record.Directory);
    record.FileTypeCode = 0;
    record.FileType = FileTypeName(record.FileTypeCode);

    const PathFacts facts = QueryPath(path);
    record.LastAccessTime = facts.accessed;
    record.CreationDate = facts.created;
    record.LastModifyTime = facts.modified;
    record.FileAttributes = AttributeMask(path, facts);
    if (!facts.found) {
        record.FileSize = 0;
        return false;
    }
    record.FileSize = facts.regularFile ? facts.size : 0;
    return true;
}

std::string FileInfoText(const FileInfoRecord& record, const std::string& comment) {
    const std::pair<const char*, std::string> lines[] = {
        {"Filename: ", record.Filename},
        {"Directory: ", record.Directory},
        {"FullFilePath: ", record.FullFilePath},
        {"FileType: ", record.FileType},
        {"VerMajor: ", std::to_string(record.VerMajor)},
        {"VerMinor: ", std::to_string(record.VerMinor)},
        {"VerRevision: ", std::to_string(record.VerRevision)},
        {"VerNotUsedVB: ", std::to_string(record.VerNotUsedVB)},
        {"FileSize: ", std::to_string(record.FileSize)},
        {"FileAttributes: ", std::to_string(record.FileAttributes)},
        {"FileType: ", std::to_string(record.FileTypeCode)},
        {"CreationDate: ", FormatDateTime(record.CreationDate)},
        {"LastModifyTime: ", FormatDateTime(record.LastModifyTime)},
        {"LastAccessTime: ", FormatDateTime(record.LastAccessTime)},
        {"CompanyName: ", record.CompanyName},
        {"FileDescription: ", record.FileDescription},
        {"FileVersion: ", record.FileVersion},
        {"InternalName: ", record.InternalName},
        {"LegalCopyright: ", record.LegalCopyright},
        {"OriginalFileName: ", record.OriginalFileName},
        {"ProductName: ", record.ProductName},
        {"ProductVersion: ", record.ProductVersion},
    };
    std::string text;
    for (const auto& [label, value] : lines) {
        text += label;
        text += value;
        text += "\r\n";
    }
    return text + "Comment: " + comment;
}

} // namespace vantrel

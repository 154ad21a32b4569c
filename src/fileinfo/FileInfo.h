#pragma once
// The block of file facts shown beside a loaded image.
#include <cstdint>
#include <ctime>
#include <string>

namespace vantrel {

struct FileInfoRecord {
    std::string Filename;
    std::string Directory;
    std::string FullFilePath;
    std::string FileType;
    std::int32_t VerMajor = 0;
    std::int32_t VerMinor = 0;
    std::int32_t VerRevision = 0;
    std::int32_t VerNotUsedVB = 0;
    std::int64_t FileSize = 0;
    std::int32_t FileAttributes = 0;
    std::int32_t FileTypeCode = 0;
    std::time_t CreationDate = 0; // 0: no time
    std::time_t LastModifyTime = 0;
    std::time_t LastAccessTime = 0;
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string OriginalFileName;
    std::string ProductName;
    std::string ProductVersion;
};

// Fills the record from the file system; false when the path cannot be queried (the record is
// filled as far as it goes all the same).
bool GetFileInformation(const std::string& path, FileInfoRecord& record);

// The 23-line text block (CR LF line breaks), ending in "Comment: " and the comment.
std::string FileInfoText(const FileInfoRecord& record, const std::string& comment);

} // namespace vantrel

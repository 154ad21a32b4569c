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
    std::int64_t FileSize = 0; // 64 bits: files of 2 GiB and more are common
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

// The attribute bits kept from the Windows mask, where this platform has their meaning.
inline constexpr std::int32_t kAttributeReadOnly = 1; // no write permission for the user
inline constexpr std::int32_t kAttributeHidden = 2;   // a name beginning with a dot
inline constexpr std::int32_t kAttributeDirectory = 16;
inline constexpr std::int32_t kAttributeNormal = 128; // none of the others applies

// Fills the record from the file system; false when the path cannot be queried (the record is
// filled as far as it goes all the same). This platform has no version resources: every file
// counts as having none.
bool GetFileInformation(const std::string& path, FileInfoRecord& record);

// The 23-line text block (CR LF line breaks), ending in "Comment: " and the comment.
std::string FileInfoText(const FileInfoRecord& record, const std::string& comment);

// The name of a version record's file type code; "Unknown" for 0, 6 and every unlisted code.
std::string FileTypeName(std::int32_t code);

// Cuts a path after its last separator ("/" here; "\" and "/" on Windows): the part after it
// is the file name, the part up to and including it the directory.
void SplitPath(const std::string& path, std::string& filename, std::string& directory);

// A time in the locale's general notation: short date, a space and long time. Local midnight
// shows the date alone; 0 (no time) shows only the time of midnight.
std::string FormatDateTime(std::time_t time);

} // namespace vantrel

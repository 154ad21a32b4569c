#include "fileinfo/FileInfo.h"

namespace vantrel {

bool GetFileInformation(const std::string& path, FileInfoRecord& record) {
    record.FullFilePath = path;
    return false;
}

std::string FileInfoText(const FileInfoRecord& record, const std::string& comment) {
    return record.FullFilePath + "\r\nComment: " + comment;
}

} // namespace vantrel

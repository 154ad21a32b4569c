#include "search/SearchLists.h"

#include "files/DirectoryWalk.h"
#include "widgets/ChooseImageFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>

namespace vantrel {
namespace {

QString Decoded(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

} // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    refreshDrives();
}

void DriveList::refreshDrives() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady()) {
            roots << volume.rootPath();
        }
    }
    roots.sort();
    roots.removeDuplicates();
    const QSignalBlocker quiet(this);
    const QString previous = drive();
    clear();
    for (const QString& root : roots) {
        addItem(root, root);
    }
    setCurrentIndex(std::max(0, findData(previous)));
}

void DriveList::showDriveOf(const QString& path) {
    const QSignalBlocker quiet(this);
    int index = findData(QStorageInfo(path).rootPath());
    if (index < 0) {
        refreshDrives();
        index = findData(QStorageInfo(path).rootPath());
    }
    if (index >= 0) {
        setCurrentIndex(index);
    }
}

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemClicked, this, &DirectoryList::enter);
}

QString DirectoryList::path() const {
    return Decoded(path_);
}

bool DirectoryList::setPath(const QString& wanted, QString* error) {
    return setPathBytes(PathBytes(QDir(wanted).absolutePath()), error);
}

bool DirectoryList::setPathBytes(const std::string& wanted, QString* error) {
    const std::string directory = NormalPath(wanted);
    const DirectoryListing listing = ListDirectory(directory);
    if (!listing.readable) {
        if (error) {
            *error = QStringLiteral("Cannot open directory %1: %2")
                         .arg(Decoded(directory), QString::fromStdString(listing.error));
        }
        return false;
    }
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    clear();
    // The root, then each ancestor down to the directory itself, one step further in each time.
    std::string prefix;
    int depth = 0;
    const auto addEntry = [&](const QIcon& icon, const std::string& name, const std::string& full,
                              int level) {
        auto* item =
            new QListWidgetItem(icon, QString(level * 2, QLatin1Char(' ')) + Decoded(name), this);
        item->setData(Qt::UserRole, QByteArray::fromStdString(full));
    };
    addEntry(open, "/", "/", depth);
    std::size_t begin = 1;
    while (begin < directory.size()) {
        std::size_t end = directory.find('/', begin);
        if (end == std::string::npos) {
            end = directory.size();
        }
        addEntry(open, directory.substr(begin, end - begin), directory.substr(0, end), ++depth);
        begin = end + 1;
    }
    setCurrentRow(count() - 1);
    for (const auto& entry : listing.directories) {
        addEntry(closed, entry.first, JoinPath(directory, entry.first), depth + 1);
    }
    path_ = directory;
    emit pathChanged(path());
    return true;
}

std::string DirectoryList::pathAt(int row) const {
    const QListWidgetItem* entry = item(row);
    return entry ? entry->data(Qt::UserRole).toByteArray().toStdString() : std::string();
}

void DirectoryList::enter(QListWidgetItem* item) {
    QString error;
    if (item && !setPathBytes(pathAt(row(item)), &error)) {
        emit problem(error);
    }
}

FileList::FileList(QWidget* parent) : QListWidget(parent) {}

bool FileList::setPathBytes(const std::string& directory) {
    const DirectoryListing listing = ListDirectory(directory);
    setEntries(directory, listing.files);
    return listing.readable;
}

void FileList::setEntries(const std::string& directory, const std::vector<std::string>& names) {
    path_ = directory;
    clear();
    for (const std::string& name : names) {
        auto* entry = new QListWidgetItem(Decoded(name), this);
        entry->setData(Qt::UserRole, QByteArray::fromStdString(name));
    }
}

std::string FileList::filePath(int row) const {
    const QListWidgetItem* entry = item(row);
    if (!entry) {
        return {};
    }
    return JoinPath(path_, entry->data(Qt::UserRole).toByteArray().toStdString());
}

} // namespace vantrel

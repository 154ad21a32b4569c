#pragma once
// The drive, directory and file lists of the search window.
#include <QComboBox>
#include <QListWidget>
#include <QString>

#include <string>
#include <vector>

namespace vantrel {

// The mounted file systems of this machine, by their root directories.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(QWidget* parent = nullptr);

    // Reads the mounted file systems again.
    void refreshDrives();
    // Selects the file system that holds the path, without a change signal.
    void showDriveOf(const QString& path);
    QString drive() const { return currentData().toString(); }
};

// A directory, its ancestors from the root down and its subdirectories; a click on an entry
// enters that directory.
class DirectoryList : public QListWidget {
    Q_OBJECT

public:
    explicit DirectoryList(QWidget* parent = nullptr);

    QString path() const;
    // The path as the file system's bytes, which a displayed name may not keep exactly.
    const std::string& pathBytes() const { return path_; }
    // Shows the directory and emits pathChanged. False, with nothing changed and the reason in
    // `error`, when it cannot be listed.
    bool setPath(const QString& path, QString* error = nullptr);
    bool setPathBytes(const std::string& path, QString* error = nullptr);
    // The directory of the entry at the row.
    std::string pathAt(int row) const;

signals:
    void pathChanged(const QString& path);
    void problem(const QString& message);

private:
    void enter(QListWidgetItem* item);

    std::string path_;
};

// The image files of one directory that fit the search's pattern, hidden files left out, in
// name order.
class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    const std::string& pathBytes() const { return path_; }
    // Lists the directory; an unreadable one shows no files and gives false.
    bool setPathBytes(const std::string& directory);
    // Shows names already listed (by the walk), without reading the directory again.
    void setEntries(const std::string& directory, const std::vector<std::string>& names);
    // The full path of the file at the row: the directory and the name joined.
    std::string filePath(int row) const;

private:
    std::string path_;
};

} // namespace vantrel

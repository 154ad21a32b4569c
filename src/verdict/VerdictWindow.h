#pragma once
// The File Verdict window: files or a folder chosen or dropped, each file's verdict in colour as
// the scan reaches it, the chosen file's evidence, and from an evidence line the window of the
// analysis behind it, opened on the same file.
#include "widgets/FileAnalysisWindow.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QTableWidget;

namespace vantrel::verdict {
struct FileRecord; // verdict/Verdict.h, which moc cannot read
}

namespace vantrel {

class VerdictWindow : public FileAnalysisWindow {
    Q_OBJECT

public:
    explicit VerdictWindow(QWidget* parent = nullptr);
    ~VerdictWindow() override;

    // Dialogs unless replaced (tests choose without them).
    std::function<std::optional<QString>(QWidget* owner)> chooseFolder;
    std::function<std::optional<QString>(QWidget* owner)> chooseWordList;
    std::function<std::optional<QString>(QWidget* owner, const QString& caption,
                                         const QString& suggested)>
        chooseSavePath;

    const std::vector<verdict::FileRecord>& records() const { return records_; }
    // The window of the analysis behind an evidence line, for `analysis` ("pixels", "jpeg",
    // "structure", "payloads", "steghide"), loaded with `path`; null for an unknown name.
    ChildWindow* openAnalysis(const std::string& analysis, const QString& path);

public slots:
    // A file, or a folder: every file under it the decoder knows by name.
    void loadFile(const QString& path) override;
    void loadFiles(const QStringList& paths);
    void Folder_Click();
    void WordList_Click();
    // An HTML report, or one JSON object a line where the file chosen ends in .json or .jsonl.
    void SaveReport_Click() override;
    void OpenEvidence_Click();

signals:
    void finished(); // every file of the run has its row

private:
    void showRecord(std::size_t row, const verdict::FileRecord& record);
    void showEvidence(int row);

    QLabel* WordListLabel = nullptr;
    QProgressBar* Progress = nullptr;
    QTableWidget* Files = nullptr;
    QTableWidget* Evidence = nullptr;

    std::shared_ptr<const std::string> words_;
    std::vector<std::string> paths_;
    std::vector<verdict::FileRecord> records_; // by row; unreadable until analysed
    double seconds_ = 0;
};

} // namespace vantrel

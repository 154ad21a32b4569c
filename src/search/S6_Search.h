#pragma once
// The search window: a reference image, a directory tree, and the list of image files whose MSB
// plane agrees with the reference's by at least the chosen percentage. The walk runs as the
// window's job; everything it finds comes back to the window as queued calls, in walk order.
#include "openimage/OpenImage.h"
#include "search/SimilarSearch.h"
#include "widgets/WindowJob.h"
#include "widgets/WindowKit.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace vantrel {

class DirectoryList;
class DriveList;
class FileList;
class PictureBox;

class S6_Search : public ChildWindow {
    Q_OBJECT

public:
    explicit S6_Search(QWidget* parent = nullptr);
    ~S6_Search() override;

    SharedImage RefImage; // the reference, shared with the walk and the windows opened
    QString ResultFile;
    SharedImage CandBMP; // the result preview; the walk decodes its candidates elsewhere
    int PreviewLoaded = 0;
    int MatchPercent = 85;

    bool isSearching() const { return walk_.running(); }

    // Runs on the walking thread just before each candidate is tested. Tests hold a walk at a
    // known file with it.
    std::function<void(const std::string& path)> beforeCandidate;
    // Tests each candidate on the walk's threads; the core's TestCandidateFile when empty.
    CandidateTester testCandidate;

public slots:
    void Command1_Click(); // Search
    void Command2_Click(); // Browse: the reference
    // What Browse does once a file is chosen (also for a dropped file).
    void LoadReference(const QString& path);
    void Command3_Click(); // Compare
    void Command4_Click(); // Copy the hit list
    void Command5_Click(); // Stop the walk after the file being tested
    void HScroll1_Change();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void List1_Click();
    void Picture1_Click();
    void Picture5_Click();

signals:
    void searchFinished();

private:
    // Asks the walk to stop and waits for it; the hits found so far stay listed.
    void stopWalk();
    void setWalking(bool walking);
    void post(std::function<void()> call);
    void directoryReached(const WalkStep& step, std::size_t directoriesLeft);
    void candidateTesting(std::size_t index);
    void hitFound(const std::string& path, const std::string& similarityText);
    void problemFound(const QString& message);
    void progressMade(std::uint64_t filesTested, std::size_t directoriesLeft);
    void walkEnded(const SearchSummary& summary);
    QString skippedNote() const;

    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture5 = nullptr;
    DriveList* Drive1 = nullptr;
    DirectoryList* Dir1 = nullptr;
    FileList* File1 = nullptr;
    QListWidget* List1 = nullptr;
    QListWidget* List2 = nullptr;

    std::string resultPath_; // ResultFile as the file system's bytes
    std::string walkStart_;
    WindowJob walk_;
    std::atomic<int> threshold_{85};
    std::uint64_t skipped_ = 0;
    QString lastSkipped_;
};

} // namespace vantrel

#pragma once
// The steghide window: a file, browsed for or dropped, searched with a word list (the empty
// passphrase and the file's name always first) by every password tool ticked that applies to it,
// or for steghide data through all 2^32 seeds; progress with its rate and time left, Stop, the
// hits, and the payload of a hit saved.
#include "passwords/PasswordTool.h"
#include "steghide/SteghideAttack.h"
#include "widgets/FileAnalysisWindow.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vantrel {

class SteghideWindow : public FileAnalysisWindow {
    Q_OBJECT

public:
    // One hit of either search, as the table lists it.
    struct Hit {
        std::optional<std::string> passphrase; // none for a seed hit
        // Another tool's hit (steghide's own fill the fields below).
        std::optional<passwords::PasswordHit> other;
        std::uint32_t seed = 0;
        int rank = -1;
        SteghideHeader header;
        std::optional<SteghidePayload> payload;
        std::string unreadable;
    };

    explicit SteghideWindow(QWidget* parent = nullptr);

    // The word list and the payload's destination: dialogs unless replaced (tests choose
    // without one).
    std::function<std::optional<QString>(QWidget* owner)> chooseWordList;
    std::function<std::optional<QString>(QWidget* owner, const QString& suggested)>
        choosePayloadPath;

    const std::vector<Hit>& hits() const { return hits_; }

public slots:
    void WordList_Click();
    void TryWordList_Click();
    void SearchSeeds_Click();
    void Stop_Click();
    void SavePayload_Click();
    // Reads the cover on the worker thread (through the decoder process).
    void loadFile(const QString& path) override;

signals:
    void coverLoaded();
    void runFinished();

private:
    using Cover = std::shared_ptr<const SteghideCover>;
    using Others = std::shared_ptr<const std::vector<std::unique_ptr<passwords::PasswordTool>>>;
    struct Outcome {
        std::vector<Hit> hits;
        std::uint64_t tried = 0;
        double seconds = 0;
        bool cancelled = false;
        bool seeds = false;
        std::vector<std::string> tools; // those a word list was tried with
    };
    void startAttack(bool seeds);
    void showProgress(const SteghideProgress& progress, const char* unit);
    void showOutcome(const Outcome& outcome);
    void setBusy(bool busy);
    void fillTable();
    std::vector<std::string> tickedOthers() const;

    QPushButton* Browse = nullptr;
    QPushButton* WordList = nullptr;
    QPushButton* TryWordList = nullptr;
    QPushButton* SearchSeeds = nullptr;
    QPushButton* Stop = nullptr;
    QPushButton* SavePayload = nullptr;
    QLabel* FileLabel = nullptr;
    QLabel* WordListLabel = nullptr;
    QProgressBar* Progress = nullptr;
    QLabel* Rate = nullptr;
    QLabel* Summary = nullptr;
    QTableWidget* Hits = nullptr;
    std::vector<QCheckBox*> Tools; // one a password tool, steghide first

    std::string path_;
    std::string wordListPath_;
    Cover cover_;
    Others others_; // the other tools that apply to the file
    std::vector<Hit> hits_;
};

} // namespace vantrel

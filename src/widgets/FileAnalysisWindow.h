#pragma once
// A window that analyses one file at a time: chosen with Browse or dropped on the window, read
// and analysed off the GUI thread, its results shown on the GUI thread unless a newer run has
// replaced the run or the window is closing. Long work and its progress, stop and failures follow
// the contract of WindowKit.h. A window whose run reads its own members stops the
// run in its destructor (`stopWork()`), before those members go; this base's destructor is too
// late for them.
#include "widgets/WindowJob.h"
#include "widgets/WindowKit.h"

#include <QColor>
#include <QMetaObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace vantrel {

// The colours every analysis window gives a verdict.
inline const QColor kSuspiciousColour(200, 40, 40);
inline const QColor kCleanColour(40, 140, 60);

class FileAnalysisWindow : public ChildWindow {
    Q_OBJECT

public:
    explicit FileAnalysisWindow(QWidget* parent = nullptr);
    ~FileAnalysisWindow() override;
    void stopWork() override { job_.stop(); }
    bool isRunning() const { return job_.running(); }

    // Where "Save Report..." writes; a JSON file dialog unless replaced (tests choose without one).
    std::function<std::optional<QString>(QWidget* owner)> chooseReportPath;

public slots:
    void Browse_Click();
    // Starts the window's analysis of the file; Browse and drops come here.
    virtual void loadFile(const QString& path) = 0;
    // The report of the file shown: its text onto the clipboard, its JSON and a newline into the
    // file chooseReportPath gives. Both wait for a result.
    void Copy_Click();
    virtual void SaveReport_Click();

protected:
    // The formats the Browse dialog offers first ("JPEG"), before all the formats read.
    void setLeadingFormats(QStringList formats) { leadingFormats_ = std::move(formats); }
    // What every loadFile does first: the window's title names the file and its folder, and a
    // failure shown for the file before goes.
    void beginFile(const QString& path);

    // The top row's first buttons: Browse alone, or Browse, Copy and "Save Report...", which
    // are enabled while the window has a result (updateReportButtons after each change of it).
    // The row goes on after them.
    QPushButton* addBrowse(TopRow& row, int width);
    TopRow addReportButtons(int browseWidth, int copyWidth);
    void updateReportButtons();
    // The window's result as the report gives it; hasReport() is false until there is one.
    virtual bool hasReport() const { return false; }
    virtual std::string reportText() const { return {}; }
    virtual std::string reportJson() const { return {}; }

    // Stops the run going and starts `work(run)` on the window's thread; what it returns (a
    // copyable callable) is called on the GUI thread once the run's thread has ended, unless
    // the run was replaced or the window is closing.
    template <typename Work> void startRun(Work work) {
        job_.stop();
        const int run = ++run_;
        job_.start([this, run, work = std::move(work)]() mutable {
            std::function<void()> show = work(run);
            postToRun(run, [this, show = std::move(show)] {
                job_.join(); // its last act was to post this call
                if (!isClosing()) {
                    show();
                }
            });
        });
    }
    // Calls `show` on the GUI thread while `run` is still the latest run (progress, say).
    template <typename Show> void postToRun(int run, Show show) {
        QMetaObject::invokeMethod(
            this,
            [this, run, show = std::move(show)]() mutable {
                if (run == run_) {
                    show();
                }
            },
            Qt::QueuedConnection);
    }
    // Asks the run going to stop; it checks this flag as it goes.
    const std::atomic<bool>* cancelFlag() const { return job_.cancelFlag(); }
    void cancelRun() { job_.cancel(); }

private:
    std::optional<QString> kind_; // the window's own title, before any file
    QStringList leadingFormats_;
    QPushButton* copy_ = nullptr;
    QPushButton* saveReport_ = nullptr;
    WindowJob job_;
    int run_ = 0; // the latest run; posts of older ones are dropped
};

} // namespace vantrel

#pragma once
// The main window: an MDI frame whose menu bar opens the work windows, Help, About and Exit.
#include "widgets/ChooseImageFile.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QMdiArea;
class QMenu;

namespace vantrel {

class ChildWindow;
class Form3;
class Form4;
class Form5;
class VerdictWindow;

class MDIForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit MDIForm1(QWidget* parent = nullptr);
    ~MDIForm1() override;

    QMdiArea* mdiArea() const { return mdiArea_; }

    // Adds a work window to the MDI area, shows it, and connects its status lines.
    void addChildWindow(ChildWindow* window);

    // Files named on the command line: a one-window analysis for each pair, test image first,
    // loaded as Browse would load them; an odd last file gets a window of its own.
    void openFiles(const QStringList& paths);

    // The file choice of the windows opened from here on (tests choose files with it).
    void setFileChooser(ImageFileChooser chooser) { chooser_ = std::move(chooser); }

public slots:
    // The New Analysis menu opens each of its windows with openWindow; these are the ones other
    // code opens by name too.
    void MultiWindowAnalysis_Click();
    Form4* OneWindowAnalysis_Click();
    void Search_Click();
    void BlindAnalysis_Click();
    void JpegAnalysis_Click();
    VerdictWindow* FileVerdict_Click();
    void Help_Click();
    void About_Click();
    void Exit_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A new work window of its kind, added as addChildWindow adds it.
    template <typename Window> Window* openWindow();
    void adoptWindow(ChildWindow* window);
    void rebuildWindowMenu();
    template <typename Window> void showShared(QPointer<Window>& shared);

    QMdiArea* mdiArea_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QPointer<Form3> about_;
    QPointer<Form5> help_;
    ImageFileChooser chooser_;
    std::shared_ptr<QString> recentFolder_ = std::make_shared<QString>();
};

} // namespace vantrel

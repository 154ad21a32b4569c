#pragma once
// What every window of the application shares: twip geometry, the Consolas font, the busy
// pointer, the application icon, and the work window base: its status lines and failures, its
// file choice and the windows it opens beside itself in the MDI area, placed where they are seen.
//
// One contract for every work window. Long work (a decode, an analysis, a walk, a scan) runs on
// the window's job (WindowJob; FileAnalysisWindow's startRun for one file's run), never on the
// GUI thread between processEvents calls: its progress comes back as queued calls, a Stop or a
// newer run asks it to end through the job's cancel flag, and the window waits for it before it
// lets go of what the run reads. What goes wrong (a file that cannot be read, decoded or written,
// a choice that cannot be used) goes through reportFailure, and only there; reportStatus is for
// everything else: what a run is doing, what it found, what was written where.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QWidget>

#include "widgets/ChooseImageFile.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

class QLabel;
class QPoint;
class QPushButton;
class QMdiArea;
class QMdiSubWindow;

namespace vantrel {

class PictureBox;

// 15 twips make one pixel at 96 dots per inch; halves round to even.
int Twips(int twips);
QRect TwipsRect(int left, int top, int width, int height);
void PlaceTwips(QWidget* widget, int left, int top, int width, int height);

// Consolas where installed, otherwise a monospaced font of the system.
QFont ConsolasFont(double pointSize = 8.25, bool bold = true);

void SetBackgroundColour(QWidget* widget, const QColor& colour);
void SetTextColour(QWidget* widget, const QColor& colour);

// Controls placed in twips, named for findChild.
QPushButton* MakeButton(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& toolTip, int left, int top, int width, int height);
QLabel* MakeLabel(QWidget* parent, const QString& objectName, const QString& text, int left,
                  int top, int width, int height);
// The row of buttons at the top of a window laid out in pixels, left to right, 6 pixels apart.
class TopRow {
public:
    explicit TopRow(QWidget* parent, int left = 8) : parent_(parent), left_(left) {}
    QPushButton* add(const QString& objectName, const QString& caption, int width);

private:
    QWidget* parent_;
    int left_;
};
// The save dialog; nothing when it is cancelled.
std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& caption,
                                      const QString& suggested = {}, const QString& filter = {});
// The same label placed in pixels (windows laid out in pixels rather than twips); its font fits
// the height it is given here.
QLabel* MakeLabel(QWidget* parent, const QString& objectName, const QString& text,
                  const QRect& pixels);
PictureBox* MakePicture(QWidget* parent, const QString& objectName, int left, int top, int width,
                        int height, const QColor& background, bool framed = true);

// The application-wide busy pointer for the lifetime of the guard.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The eye with a blue iris, drawn at 16 and 32 pixels.
QIcon ApplicationIcon();

// Base of every work window: a QWidget shown inside a QMdiSubWindow of the main window (or as a
// top-level window when there is none, as in tests). Closing the sub-window deletes it.
class ChildWindow : public QWidget {
    Q_OBJECT

public:
    explicit ChildWindow(QWidget* parent = nullptr);

    // Sets the client area, in twips or in pixels; the MDI frame follows.
    void setClientSizeTwips(int width, int height);
    void setClientSize(int width, int height);
    // Sets the whole window's size, MDI frame and title included, in twips or in pixels. A
    // window in an MDI area moves up and left as far as it must to stay in sight.
    void setOuterSizeTwips(int width, int height);
    void setOuterSize(const QSize& size);
    QSize outerSize() const { return outerSize_; } // empty unless set
    QSize sizeHint() const override { return size(); }

    // True from the moment a close was accepted: long runs check it after each yield and stop
    // before the window releases its bitmaps.
    bool isClosing() const { return closing_; }
    // Ends the window's work off the GUI thread (asks it to stop, then waits), without closing
    // the window: for a program that exits at once.
    virtual void stopWork() {}

    // The frame that holds the window in the MDI area, or null when shown on its own.
    QMdiSubWindow* subWindow() const;

    // The widget to grab for a picture of the whole window, frame and title included.
    QWidget* outerWindow();

    // Closes the window as the user would, through its frame.
    void closeWindow();

    // Windows such as About and Help have no minimise and maximise buttons on their frame.
    void setMinMaxButtons(bool shown) { minMaxButtons_ = shown; }
    bool hasMinMaxButtons() const { return minMaxButtons_; }

    // One line for the main window's status bar: what a run found or wrote. The last line
    // stays readable here.
    void reportStatus(const QString& message);
    QString lastStatus() const { return lastStatus_; }
    // The one way a window shows a failure (a Result's message, a decoder's reason, a file that
    // cannot be written): on one line in the status bar and, where the window has one, in red
    // on its failure line.
    void reportFailure(std::string_view message);
    void reportFailure(const QString& message);
    // The label that shows failures; clearFailure gives it back its own colour and empties it.
    void setFailureLine(QLabel* line);
    void clearFailure();
    // Writes `bytes` to `target`, a file the user chose, and says where they went; a file that
    // cannot be written is a failure. True when written.
    bool saveFile(const QString& target, std::string_view bytes);
    bool saveFile(const QString& target, std::span<const std::uint8_t> bytes);

    // The open-image dialog, or the chooser installed on this window (tests choose files with
    // it); windows opened from here inherit it.
    void setFileChooser(ImageFileChooser chooser) { chooser_ = std::move(chooser); }
    const ImageFileChooser& fileChooser() const { return chooser_; }
    std::optional<QString> chooseImageFile() { return ChooseImageFile(this, chooser_); }
    // The folder of the file chosen last in this run, shared by the windows of one main window:
    // the analysis windows' dialog opens there. Nothing of it is written to disk.
    void setRecentFolder(std::shared_ptr<QString> folder) { recentFolder_ = std::move(folder); }
    const std::shared_ptr<QString>& recentFolder() const { return recentFolder_; }

    // Shows a window made by this one: in this window's MDI area, or on its own when this
    // window has none. The main window hears of it through childOpened.
    void openChild(ChildWindow* child);

signals:
    void closing();
    void statusMessage(const QString& message);
    void childOpened(ChildWindow* child);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool closing_ = false;
    bool minMaxButtons_ = true;
    QSize outerSize_;
    QString lastStatus_;
    QPointer<QLabel> failureLine_;
    ImageFileChooser chooser_;
    std::shared_ptr<QString> recentFolder_;
};

// Puts a work window into an MDI area in its frame, placed by PlaceInMdiArea, and shows it.
void AddToMdiArea(QMdiArea* area, ChildWindow* window);

// Where the `index`th window of a cascade from the top-left of a visible area opens: steps of
// `step` down and right, starting over at the top-left before it would cross the right or bottom
// edge. A window larger than the area opens at its top-left.
QPoint CascadePosition(const QSize& area, const QSize& window, int index, int step);

// Places a new window of an MDI area on the area's cascade, after the windows already there;
// one larger than the visible area turns the area's scroll bars on, so all of it can be reached.
void PlaceInMdiArea(QMdiSubWindow* frame);
// Moves a window that grew up and left as far as it must to stay inside the visible area, or to
// the area's top-left when it has grown larger than the area.
void KeepInMdiArea(QMdiSubWindow* frame);

// "stego.jpg — /home/me/cases": the file name first, then its folder, so files of one name in
// several folders can be told apart.
QString FileTitle(const QString& path);

// One processEvents(): for a window that must show what it has just drawn before it goes on (the
// grid windows' pictures one at a time, a picture of a window without its buttons). Long work
// does not yield with it: it runs on the window's job.
void YieldToEvents();

} // namespace vantrel

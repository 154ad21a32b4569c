#pragma once
// What every window of the application shares: twip geometry, the Consolas font, the busy
// pointer, the application icon, and the work window base: its status lines, its file choice
// and the windows it opens beside itself in the MDI area.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QWidget>

#include "widgets/ChooseImageFile.h"

#include <functional>
#include <optional>
#include <string_view>

class QLabel;
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
// A button of the row at the top of a window laid out in pixels.
QPushButton* MakeTopButton(QWidget* parent, const QString& objectName, const QString& caption,
                           int left, int width);
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
    // Sets the whole window's size, MDI frame and title included, in twips.
    void setOuterSizeTwips(int width, int height);
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

    // One line for the main window's status bar: failures the window otherwise keeps silent
    // about. The last line stays readable here.
    void reportStatus(const QString& message);
    QString lastStatus() const { return lastStatus_; }
    // The one way a window shows a failure (a Result's message, a decoder's reason): on one
    // line in the status bar.
    void reportFailure(std::string_view message);

    // The open-image dialog, or the chooser installed on this window (tests choose files with
    // it); windows opened from here inherit it.
    void setFileChooser(ImageFileChooser chooser) { chooser_ = std::move(chooser); }
    const ImageFileChooser& fileChooser() const { return chooser_; }
    std::optional<QString> chooseImageFile() { return ChooseImageFile(this, chooser_); }

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
    ImageFileChooser chooser_;
};

// Puts a work window into an MDI area in its frame and shows it.
void AddToMdiArea(QMdiArea* area, ChildWindow* window);

// One processEvents(), the yield of long runs.
void YieldToEvents();

} // namespace vantrel

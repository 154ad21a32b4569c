#pragma once
// What every window of the application shares: twip geometry, the Consolas font, the busy
// pointer, the status line of the main window, the application icon, and child windows that
// live in the main window's MDI area.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QMdiSubWindow;

namespace vantrel {

class PictureBox;

// 15 twips make one pixel at 96 dots per inch; halves round to even.
int Twips(int twips);
QRect TwipsRect(int left, int top, int width, int height);
void PlaceTwips(QWidget* widget, int left, int top, int width, int height);

// Consolas where installed, otherwise the system's fixed-pitch font.
QFont ConsolasFont(double pointSize = 8.25, bool bold = true);

void SetBackgroundColour(QWidget* widget, const QColor& colour);
void SetTextColour(QWidget* widget, const QColor& colour);

// Controls placed in twips, named for findChild.
QPushButton* MakeButton(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& toolTip, int left, int top, int width, int height);
QLabel* MakeLabel(QWidget* parent, const QString& objectName, const QString& text, int left,
                  int top, int width, int height);
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

// One line for the main window's status bar; failures the windows otherwise keep silent about.
void ReportStatus(const QString& message);
void SetStatusSink(std::function<void(const QString&)> sink);
QString LastStatusMessage();

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
    QSize sizeHint() const override { return size(); }

    // True from the moment a close was accepted: long runs check it after each yield and stop
    // before the window releases its bitmaps.
    bool isClosing() const { return closing_; }

    // The frame that holds the window in the MDI area, or null when shown on its own.
    QMdiSubWindow* subWindow() const;

    // The widget to grab for a picture of the whole window, frame and title included.
    QWidget* outerWindow();

    // Closes the window as the user would, through its frame.
    void closeWindow();

    // Windows such as About and Help have no minimise and maximise buttons on their frame.
    void setMinMaxButtons(bool shown) { minMaxButtons_ = shown; }
    bool hasMinMaxButtons() const { return minMaxButtons_; }

signals:
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool closing_ = false;
    bool minMaxButtons_ = true;
};

// Puts a newly made work window into the main window's MDI area and shows it.
void ShowChildWindow(ChildWindow* window);
using ChildWindowHost = std::function<void(ChildWindow*)>;
void SetChildWindowHost(ChildWindowHost host);

// One processEvents(), the yield of long runs.
void YieldToEvents();

} // namespace vantrel

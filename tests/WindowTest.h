#pragma once
// What the window tests share: controls found by name, a file dialog that answers at once, the
// work windows a main window holds, image files with known pixels, and the end of closed windows.
#include "RunCli.h"
#include "TestData.h"
#include "app/MDIForm1.h"
#include "widgets/ChooseImageFile.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"
#include "widgets/WindowKit.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace vantrel::testing {

template <typename T> T* Child(const QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no child %s", name);
    }
    return child;
}

template <typename T> T* Child(const QObject* parent, const QString& name) {
    return Child<T>(parent, qPrintable(name));
}

// The window's file dialog answers `path`; a null path cancels.
inline void ChooseFile(ChildWindow* window, const QString& path) {
    window->setFileChooser([path](QWidget*, const OpenFileRequest&) {
        return path.isNull() ? std::nullopt : std::optional<QString>(path);
    });
}

// The work windows of one kind that the main window's MDI area holds, in its order.
template <typename Window> QList<Window*> OpenWindows(const MDIForm1& main) {
    QList<Window*> windows;
    for (QMdiSubWindow* frame : main.mdiArea()->subWindowList()) {
        if (auto* window = qobject_cast<Window*>(frame->widget())) {
            windows.append(window);
        }
    }
    return windows;
}

// A PNG in `dir` whose pixel (x, y) is colour(x, y).
inline QString WriteImage(const QTemporaryDir& dir, const QString& name, int width, int height,
                          const std::function<RgbColor(int, int)>& colour) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, QRgbFromRgbColor(colour(x, y)));
        }
    }
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG")) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

// A 24-bit PNG of PlaceBitmap's pixels, with a "Comment" text chunk unless `comment` is empty.
inline bool WritePlaceImage(const QString& path, int width, int height,
                            const std::string& comment = {}) {
    const BitmapHandle bitmap = PlaceBitmap(width, height);
    if (!comment.empty()) {
        AddTag(bitmap.get(), "Comment", comment);
    }
    return FreeImage_Save(FIF_PNG, bitmap.get(), PathBytes(path).c_str(), PNG_DEFAULT) != FALSE;
}

// Runs `action`, answers the message box it opens and returns that box's "text|icon|buttons".
inline QString AnswerMessageBox(const std::function<void()>& action) {
    QString seen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = QStringLiteral("%1|%2|%3")
                       .arg(box->text())
                       .arg(box->icon())
                       .arg(box->standardButtons().toInt());
            box->accept();
        }
    });
    timer.start(10);
    action();
    return seen;
}

// Deletes the windows whose close is pending, as the event loop would.
inline void DeleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace vantrel::testing

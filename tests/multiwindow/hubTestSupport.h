#pragma once
// What the window tests share: image files written with FreeImage, so that the tests need no
// data files (display pixel (x, y) is red x mod 256, green y mod 256, blue 7), and the end of
// closed windows.
#include <QCoreApplication>
#include <QEvent>

#include <string>

namespace vantrel::testsupport {

// A 24-bit PNG, with a "Comment" text chunk when the comment is not empty. False when the
// file cannot be written.
bool WritePlaceImage(const std::string& path, int width, int height,
                     const std::string& comment = {});

// Deletes the windows whose close is pending, as the event loop would.
inline void DeleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace vantrel::testsupport

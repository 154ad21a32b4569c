#pragma once
// The window side of the open-image flow: what a window shows of a file it opened.
#include "openimage/OpenImage.h"

#include <QString>

class QLabel;
class QPlainTextEdit;

namespace vantrel {

class ChildWindow;
class PictureBox;

inline constexpr int kThumbnailSide = 300;

// The parts of a window that show an opened image; any may be null.
struct OpenedImageView {
    QLabel* path = nullptr;
    PictureBox* thumbnail = nullptr;
    PictureBox* fullSize = nullptr; // resized to the image, 0 x 0 when it failed
    QPlainTextEdit* information = nullptr;
};

// Puts a failure on the window's status line, then shows the path as chosen, the thumbnail
// (long side 300 pixels), the full-size picture and the file information block.
void ShowOpenedImage(ChildWindow* window, const OpenedImage& image, const QString& chosenPath,
                     const OpenedImageView& view);

// The thumbnail of an image (long side 300 pixels); an empty picture for one without pixels.
void ShowThumbnail(PictureBox* box, const Image& image);

// Text boxes show lines; the blocks they hold, and copy, break lines with CR LF.
void ShowBlock(QPlainTextEdit* box, const std::string& block);
QString BlockOf(const QPlainTextEdit* box);

} // namespace vantrel

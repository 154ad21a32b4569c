#include "widgets/OpenedImageView.h"

#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"
#include "widgets/WindowKit.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace vantrel {

void ShowOpenedImage(ChildWindow* window, const OpenedImage& image, const QString& chosenPath,
                     const OpenedImageView& view) {
    if (!image.decoded()) {
        window->reportFailure(image.error);
    }
    if (view.path != nullptr) {
        view.path->setText(chosenPath);
    }
    if (view.thumbnail != nullptr) {
        ShowThumbnail(view.thumbnail, *image.image);
    }
    if (view.fullSize != nullptr) {
        view.fullSize->setSurfaceSize(image.image->width(), image.image->height());
        view.fullSize->setPicture(PictureOf(*image.image));
        view.fullSize->refresh();
    }
    if (view.information != nullptr) {
        ShowBlock(view.information, image.informationText());
    }
}

void ShowThumbnail(PictureBox* box, const Image& image) {
    box->setPicture(BitmapToPicture(FitLongSide(image.bitmap(), kThumbnailSide)));
    box->refresh();
}

void ShowBlock(QPlainTextEdit* box, const std::string& block) {
    QString lines = QString::fromStdString(block);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box->setPlainText(lines);
}

QString BlockOf(const QPlainTextEdit* box) {
    QString block = box->toPlainText();
    block.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return block;
}

} // namespace vantrel

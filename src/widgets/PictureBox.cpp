#include "widgets/PictureBox.h"

#include "widgets/Pictures.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace vantrel {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    // Pointer moves are reported with no button held too (the viewer's readout needs them).
    setMouseTracking(true);
    setSurfaceSize(0, 0);
}

void PictureBox::setBackground(const QColor& colour) {
    background_ = colour;
    repaintSurface();
}

void PictureBox::setFramed(bool framed) {
    framed_ = framed;
    setSurfaceSize(surface_.width(), surface_.height());
}

void PictureBox::setSurfaceSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (surface_.width() != width || surface_.height() != height || surface_.isNull()) {
        QImage resized(width, height, QImage::Format_RGB32);
        resized.fill(background_);
        if (!surface_.isNull() && !resized.isNull()) {
            QPainter painter(&resized);
            painter.drawImage(0, 0, surface_);
        }
        surface_ = resized;
    }
    setFixedSize(width + 2 * frameWidth(), height + 2 * frameWidth());
    update();
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    repaintSurface();
}

void PictureBox::clear() {
    repaintSurface();
}

void PictureBox::repaintSurface() {
    surface_.fill(background_);
    if (!picture_.isNull() && !surface_.isNull() && surface_.width() > 0 && surface_.height() > 0) {
        QPainter painter(&surface_);
        painter.drawImage(0, 0, picture_);
    }
    update();
}

void PictureBox::refresh() {
    update();
}

RgbColor PictureBox::point(int x, int y) const {
    if (x < 0 || y < 0 || x >= surface_.width() || y >= surface_.height()) {
        return kNoColor;
    }
    return RgbColorFromQRgb(reinterpret_cast<const QRgb*>(surface_.constScanLine(y))[x]);
}

void PictureBox::setPoint(int x, int y, RgbColor colour) {
    if (x < 0 || y < 0 || x >= surface_.width() || y >= surface_.height()) {
        return;
    }
    reinterpret_cast<QRgb*>(surface_.scanLine(y))[x] = QRgbFromRgbColor(colour);
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (framed_) {
        const QRect outer = rect();
        painter.setPen(QColor(128, 128, 128));
        painter.drawLine(outer.topLeft(), outer.topRight());
        painter.drawLine(outer.topLeft(), outer.bottomLeft());
        painter.setPen(QColor(255, 255, 255));
        painter.drawLine(outer.bottomLeft(), outer.bottomRight());
        painter.drawLine(outer.topRight(), outer.bottomRight());
        painter.setPen(QColor(64, 64, 64));
        painter.drawLine(outer.left() + 1, outer.top() + 1, outer.right() - 1, outer.top() + 1);
        painter.drawLine(outer.left() + 1, outer.top() + 1, outer.left() + 1, outer.bottom() - 1);
    }
    painter.drawImage(frameWidth(), frameWidth(), surface_);
}

QPoint PictureBox::toSurface(const QPointF& position) const {
    return QPoint(static_cast<int>(std::floor(position.x())) - frameWidth(),
                  static_cast<int>(std::floor(position.y())) - frameWidth());
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    emit mousePressed(event->button(), event->buttons(), toSurface(event->position()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(event->buttons(), toSurface(event->position()));
}

} // namespace vantrel

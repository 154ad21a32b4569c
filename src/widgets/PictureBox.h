#pragma once
// The picture control every window uses: a persistent RGB32 surface of an exact pixel size that
// keeps whatever is drawn into it, an optional picture shown at 1:1 from the top-left corner
// beneath the drawing, a background colour, and pixel reads that yield RgbColor (-1 outside).
#include "image/ColorModel.h"

#include <QColor>
#include <QImage>
#include <QWidget>

namespace vantrel {

class PictureBox : public QWidget {
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setBackground(const QColor& colour);
    QColor background() const { return background_; }

    // A sunken two-pixel frame around the surface; the surface is the area inside it.
    void setFramed(bool framed);
    bool framed() const { return framed_; }

    // Resizes the drawable surface to exactly width x height pixels (the widget grows by the
    // frame). What was drawn is kept where it still fits; new area shows the background.
    void setSurfaceSize(int width, int height);
    int surfaceWidth() const { return surface_.width(); }
    int surfaceHeight() const { return surface_.height(); }

    // Shows the picture (null for none) and redraws the surface from it.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    bool hasPicture() const { return !picture_.isNull(); }

    // Erases what was drawn: the surface shows the background and the picture again.
    void clear();

    // The persistent surface; callers that draw into it call refresh() after.
    QImage& surface() { return surface_; }
    const QImage& surface() const { return surface_; }
    void refresh();

    RgbColor point(int x, int y) const;
    void setPoint(int x, int y, RgbColor colour);

signals:
    void mousePressed(Qt::MouseButton button, Qt::MouseButtons buttons, QPoint position);
    void mouseMoved(Qt::MouseButtons buttons, QPoint position);
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int frameWidth() const { return framed_ ? 2 : 0; }
    QPoint toSurface(const QPointF& position) const;
    void repaintSurface();

    QColor background_{31, 31, 31};
    bool framed_ = false;
    QImage surface_;
    QImage picture_;
};

} // namespace vantrel

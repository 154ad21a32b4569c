// The bit-plane, comparison and direction windows on an image pair. Without a second image of
// the same size, the second is the first with a message hidden sequentially in the lowest bit
// of every colour channel of its upper rows, as simple LSB embedding does; without any image a
// painted landscape stands in.
#include "RenderScenes.h"

#include "app/MDIForm1.h"

#include "image/ImageLoading.h"
#include "multiwindow/S1_Analysis.h"
#include "multiwindow/S2_Comparison.h"
#include "multiwindow/S4_Direction.h"
#include "widgets/ChooseImageFile.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTemporaryDir>

#include <random>

namespace vantrel::render {
namespace {

QString PaintLandscape(const QString& folder) {
    QImage image(640, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(235, 180, 120));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(470, 170, 70);
    sun.setColorAt(0, QColor(255, 250, 210));
    sun.setColorAt(1, QColor(255, 170, 60, 0));
    painter.setBrush(sun);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(470, 170), 70, 70);
    const QColor hills[] = {QColor(70, 110, 60), QColor(45, 85, 45), QColor(30, 60, 35)};
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath path(QPointF(0, 480));
        for (int x = 0; x <= 640; x += 20) {
            path.lineTo(x, 250 + 60 * layer + 35 * std::sin(x / (60.0 + 25 * layer) + layer));
        }
        path.lineTo(640, 480);
        painter.setBrush(hills[layer]);
        painter.drawPath(path);
    }
    painter.end();
    const QString path = folder + "/landscape.png";
    image.save(path);
    return path;
}

BitmapHandle WithHiddenMessage(const FIBITMAP* image) {
    BitmapHandle copy = CloneBitmap(image);
    const MutablePixelView view = MutableViewOfBitmap(copy.get());
    std::mt19937 message(7);
    for (int y = 0; y < view.height * 45 / 100; ++y) {
        for (int x = 0; x < view.width; ++x) {
            std::uint8_t* pixel = view.row(y) + view.bytesPerPixel * x;
            for (const int channel : {kRed, kGreen, kBlue}) {
                pixel[channel] =
                    static_cast<std::uint8_t>((pixel[channel] & 0xFE) | (message() & 1));
            }
        }
    }
    return copy;
}

template <typename Window>
void RenderPair(MDIForm1& main, const BitmapHandle& first, const BitmapHandle& second,
                const QString& caption, const Inputs& inputs, const QString& name) {
    auto* window =
        new Window(ShareImage(CloneBitmap(first.get())), ShareImage(CloneBitmap(second.get())));
    main.addChildWindow(window);
    window->setWindowTitle(caption);
    window->StartComparison();
    Save(window->outerWindow(), inputs, name);
    window->closeWindow();
}

} // namespace

void RenderGridScenes(MDIForm1& main, const Inputs& inputs) {
    QTemporaryDir folder;
    const QString file1 = inputs.image1.isEmpty() ? PaintLandscape(folder.path()) : inputs.image1;
    const auto load = [](const QString& path) {
        Result<BitmapHandle> bitmap = LoadImageFile(PathBytes(path));
        return bitmap ? std::move(bitmap).value() : BitmapHandle{};
    };
    const BitmapHandle first = load(file1);
    // The painted stand-in goes by its name alone.
    const QString path1 = inputs.image1.isEmpty() ? QStringLiteral("landscape.png") : file1;
    BitmapHandle second;
    QString path2 = inputs.image2;
    if (!path2.isEmpty() && path2 != file1) {
        second = load(path2);
    }
    if (!second || BitmapWidth(second.get()) != BitmapWidth(first.get()) ||
        BitmapHeight(second.get()) != BitmapHeight(first.get())) {
        second = WithHiddenMessage(first.get());
        path2 = path1 + " (with a hidden message)";
    }

    auto* analysis = new S1_Analysis(ShareImage(CloneBitmap(second.get())));
    main.addChildWindow(analysis);
    analysis->setWindowTitle(analysis->windowTitle() + " " + path2);
    analysis->StartAnalysis();
    Save(analysis->outerWindow(), inputs, "grid-analysis.png");
    Save(&main, inputs, "placed-grid-analysis.png");
    analysis->closeWindow();

    const QString caption = path1 + " [vs] " + path2;
    RenderPair<S2_Comparison>(main, first, second, caption, inputs, "grid-comparison.png");
    RenderPair<S4_Direction>(main, first, second, caption, inputs, "grid-direction.png");
}

} // namespace vantrel::render

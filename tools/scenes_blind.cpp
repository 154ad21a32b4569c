#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "blind/BlindAnalysis.h"

#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRandomGenerator>
#include <QTimer>

namespace vantrel::render {
namespace {

// The picture with LSB replacement of random message bits in its first `share` of samples, in
// scan order (rows from the top, R, G and B alike): what a sequential embedder leaves behind.
QImage WithSequentialMessage(const QImage& picture, double share) {
    QImage stego = picture.convertToFormat(QImage::Format_RGB32);
    QRandomGenerator random(2024);
    const qint64 last = qint64(share * stego.width() * stego.height());
    for (qint64 i = 0; i < last; ++i) {
        QRgb& pixel =
            reinterpret_cast<QRgb*>(stego.scanLine(int(i / stego.width())))[i % stego.width()];
        pixel = (pixel & 0xFFFEFEFE) | (random.generate() & 0x00010101);
    }
    return stego;
}

// Without a photograph: soft colour ramps with a little grain, so that the cover's own LSBs are
// not all alike.
QImage SampleScene() {
    QImage picture(600, 400, QImage::Format_RGB32);
    QRandomGenerator grain(7);
    for (int y = 0; y < picture.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const int noise = int(grain.bounded(5));
            row[x] = qRgb(60 + x / 4 + noise, 90 + y / 3 + noise, 200 - (x + y) / 8 + noise);
        }
    }
    return picture;
}

} // namespace

void RenderBlindScenes(MDIForm1& main, const Inputs& inputs) {
    QImage cover;
    if (inputs.image1.isEmpty() || !cover.load(inputs.image1)) {
        cover = SampleScene();
    }
    const QString stego = QDir::tempPath() + "/vantrel-blind-stego.png";
    WithSequentialMessage(cover, 0.5).save(stego);

    auto* window = new BlindAnalysis;
    main.addChildWindow(window);
    QEventLoop loop;
    QObject::connect(window, &BlindAnalysis::analysisFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    window->loadFile(stego);
    loop.exec();
    Save(window->outerWindow(), inputs, "blind.png");
}

} // namespace vantrel::render

#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "search/S6_Search.h"
#include "search/SearchLists.h"

#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>

namespace vantrel::render {
namespace {

// A picture to search for when no image was given: soft bands and a few shapes.
QImage SamplePicture() {
    QImage picture(640, 480, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 0, 480);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(230, 190, 120));
    painter.fillRect(picture.rect(), sky);
    painter.setBrush(QColor(250, 220, 90));
    painter.drawEllipse(QPoint(470, 140), 60, 60);
    painter.setBrush(QColor(30, 70, 40));
    painter.drawRect(0, 360, 640, 120);
    return picture;
}

// The picture with the low bits of every channel scrambled: same MSB plane, other file.
QImage LowBitsChanged(const QImage& picture, quint32 seed, quint32 highBitsToFlip = 0) {
    QImage copy = picture.convertToFormat(QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < copy.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(copy.scanLine(y));
        const bool flipRow = y < static_cast<int>(highBitsToFlip);
        for (int x = 0; x < copy.width(); ++x) {
            const quint32 noise = random.generate() & 0x00030303;
            row[x] = (row[x] ^ noise) ^ (flipRow ? 0x00808080 : 0);
        }
    }
    return copy;
}

// A small tree of near-copies, partial changes and unrelated pictures around the reference.
QString MakeSampleTree(const QImage& reference) {
    const QString root = QDir::tempPath() + "/vantrel-samples";
    QDir(root).removeRecursively();
    for (const char* directory : {"holiday/beach", "holiday/hills", "scans", "exports"}) {
        QDir().mkpath(root + "/" + directory);
    }
    reference.save(root + "/reference.png");
    LowBitsChanged(reference, 1).save(root + "/holiday/IMG_0142.bmp");
    LowBitsChanged(reference, 2, reference.height() / 12).save(root + "/scans/scan-07.png");
    reference.save(root + "/exports/final.jpg", "JPG", 95);
    LowBitsChanged(reference, 3, reference.height() / 25).save(root + "/holiday/hills/crop.png");
    reference.mirrored(true, false).save(root + "/holiday/beach/mirror.png");
    reference.scaled(reference.width() / 2, reference.height() / 2)
        .save(root + "/holiday/beach/small.png");
    return root;
}

} // namespace

void RenderSearchScenes(MDIForm1& main, const Inputs& inputs) {
    QImage reference;
    if (inputs.image1.isEmpty() || !reference.load(inputs.image1)) {
        reference = SamplePicture();
    }
    const QString root = MakeSampleTree(reference);

    main.Search_Click();
    auto* search = main.findChild<S6_Search*>();
    search->LoadReference(root + "/reference.png");
    search->findChild<DirectoryList*>(QStringLiteral("Dir1"))->setPath(root);
    QEventLoop loop;
    QObject::connect(search, &S6_Search::searchFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    search->Command1_Click();
    loop.exec();
    search->findChild<QListWidget*>(QStringLiteral("List1"))->setCurrentRow(1);
    Save(search->outerWindow(), inputs, "search.png");
}

} // namespace vantrel::render

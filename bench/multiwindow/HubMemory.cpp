// The resident memory of an image pair hub holding two 24-megapixel images, and what it was
// when each slot also kept a hidden full-size picture (a picture box with its surface).
// Usage: hub_memory [--with-full-size-pictures]
#include "BenchSupport.h"
#include "multiwindow/S0_Images.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <FreeImage.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// A 6000 x 4000 photo-like PNG (smooth colours with noise).
QString WriteImage(const QString& folder, const char* name, unsigned seed) {
    const int width = 6000;
    const int height = 4000;
    FIBITMAP* bitmap = FreeImage_Allocate(width, height, 24);
    std::mt19937 noise(seed);
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < width; ++x) {
            row[3 * x + 0] = static_cast<BYTE>((x / 24 + noise() % 8) & 0xFF);
            row[3 * x + 1] = static_cast<BYTE>((y / 16 + noise() % 8) & 0xFF);
            row[3 * x + 2] = static_cast<BYTE>(((x + y) / 40 + noise() % 8) & 0xFF);
        }
    }
    const QString path = folder + "/" + name;
    FreeImage_Save(FIF_PNG, bitmap, path.toUtf8().constData(), PNG_Z_BEST_SPEED);
    FreeImage_Unload(bitmap);
    return path;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const bool withFullSize = argc > 1 && std::strcmp(argv[1], "--with-full-size-pictures") == 0;
    QTemporaryDir folder;
    const QString first = WriteImage(folder.path(), "a.png", 1);
    const QString second = WriteImage(folder.path(), "b.png", 2);
    const long before = vantrel::bench::ResidentKilobytes();
    vantrel::S0_Images hub;
    hub.LoadImage1(first);
    hub.LoadImage2(second);
    std::vector<std::unique_ptr<vantrel::PictureBox>> hidden;
    if (withFullSize) {
        for (const vantrel::SharedImage* image : {&hub.FIBMP1, &hub.FIBMP2}) {
            auto box = std::make_unique<vantrel::PictureBox>();
            box->setSurfaceSize(6000, 4000);
            box->setPicture(vantrel::PictureOf(**image));
            hidden.push_back(std::move(box));
        }
    }
    std::printf("hub with two 24 MP images%s: %.0f MB resident added\n",
                withFullSize ? " and hidden full-size pictures" : "",
                static_cast<double>(vantrel::bench::ResidentKilobytes() - before) / 1024.0);
    return 0;
}

// Opens windows with sample images on the offscreen platform and saves each as a PNG, for the
// README and for looking at what the windows show. Usage: vantrel-render OUTDIR [IMAGE1 IMAGE2]
#include "app/MDIForm1.h"
#include "image/ChooseImageFile.h"
#include "onewindow/Form4.h"

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

#include <cstdio>

using namespace vantrel;

namespace {

void ChooseNext(const QString& path) {
    SetImageFileChooser([path](QWidget*) { return std::optional<QString>(path); });
}

void Save(QWidget* widget, const QString& path) {
    QApplication::processEvents();
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
    }
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vantrel-render OUTDIR [TEST_IMAGE ORIGINAL_IMAGE]\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    const QString test = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString original = argc > 3 ? QString::fromLocal8Bit(argv[3]) : test;

    MDIForm1 main;
    main.resize(1400, 1000);
    main.show();

    main.OneWindowAnalysis_Click();
    auto* form4 = main.findChild<Form4*>();
    if (!test.isEmpty()) {
        ChooseNext(test);
        form4->Command2_Click();
        ChooseNext(original);
        form4->Command6_Click();
        form4->Command1_Click();
    }
    Save(form4->outerWindow(), outDir + "/form4.png");
    Save(&main, outDir + "/main-window.png");
    return 0;
}

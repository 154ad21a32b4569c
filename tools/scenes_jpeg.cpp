#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "blind/BlindAnalysis.h"
#include "jpeg/JpegAnalysisWindow.h"

#include <QComboBox>
#include <QEventLoop>
#include <QTimer>

namespace vantrel::render {

// The window on the F5 stego of the test data, the (1,1) mode's histogram chosen: F5 turns ones
// into zeros there, so the file's bars stand above the calibrated line at 0 and below it at 1.
void RenderJpegScenes(MDIForm1& main, const Inputs& inputs) {
    auto* window = new JpegAnalysisWindow;
    main.addChildWindow(window);
    QEventLoop loop;
    QObject::connect(window, &JpegAnalysisWindow::analysisFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    window->loadFile(QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/jpeg/chelsea-f5.jpg"));
    loop.exec();
    window->findChild<QComboBox*>("Mode")->setCurrentIndex(3);
    Save(window->outerWindow(), inputs, "jpeg.png");

    // A PNG given to it: the failure on its red line, both rows of it in view.
    window->loadFile(QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/pattern.png"));
    loop.exec();
    Save(window->outerWindow(), inputs, "jpeg-failure.png");

    // The blind-analysis window on the same file: the JPEG verdict, the pixel rows not
    // applicable.
    auto* blind = new BlindAnalysis;
    main.addChildWindow(blind);
    QEventLoop blindLoop;
    QObject::connect(blind, &BlindAnalysis::analysisFinished, &blindLoop, &QEventLoop::quit);
    QTimer::singleShot(60000, &blindLoop, &QEventLoop::quit);
    blind->loadFile(QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/jpeg/chelsea-f5.jpg"));
    blindLoop.exec();
    Save(blind->outerWindow(), inputs, "blind-jpeg.png");
}

} // namespace vantrel::render

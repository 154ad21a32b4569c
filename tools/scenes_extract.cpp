#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "extract/BitExtraction.h"

#include <QEventLoop>
#include <QTableWidget>
#include <QTimer>

namespace vantrel::render {

// The steggy fixture (made by the real tool) scanned, its message selected.
void RenderExtractScenes(MDIForm1& main, const Inputs& inputs) {
    const QString fixture = QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/extract/steggy.png");
    auto* window = new BitExtraction;
    main.addChildWindow(window);
    QEventLoop loop;
    QObject::connect(window, &BitExtraction::fileLoaded, window, &BitExtraction::Scan_Click);
    QObject::connect(window, &BitExtraction::scanFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    window->loadFile(fixture);
    loop.exec();
    window->Findings_Click(0);
    Save(window->outerWindow(), inputs, "extract.png");
}

} // namespace vantrel::render

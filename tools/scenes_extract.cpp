#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "extract/BitExtraction.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTableWidget>
#include <QTimer>

namespace vantrel::render {

// The steggy fixture (made by the real tool) scanned, its message selected. The fixture is
// found beside the build tree, or under VANTREL_SOURCE_DIR.
void RenderExtractScenes(MDIForm1& main, const Inputs& inputs) {
    const QString relative = "/tests/data/extract/steggy.png";
    QString fixture = qEnvironmentVariable("VANTREL_SOURCE_DIR") + relative;
    for (QDir up(QCoreApplication::applicationDirPath());
         !QFileInfo::exists(fixture) && up.cdUp();) {
        fixture = up.path() + relative;
    }
    auto* window = new BitExtraction;
    main.addChildWindow(window);
    window->loadFile(fixture);
    QEventLoop loop;
    QObject::connect(window, &BitExtraction::scanFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    window->Scan_Click();
    loop.exec();
    window->Findings_Click(0);
    Save(window->outerWindow(), inputs, "extract.png");
}

} // namespace vantrel::render

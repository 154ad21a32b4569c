#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "structure/StructureWindow.h"

#include <QEventLoop>
#include <QTimer>

namespace vantrel::render {

// A PNG with a ZIP appended, its first anomaly selected.
void RenderStructureScenes(MDIForm1& main, const Inputs& inputs) {
    const QString folder = QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/structure/");
    auto* window = new StructureWindow;
    main.addChildWindow(window);
    QEventLoop loop;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    QObject::connect(window, &StructureWindow::structureShown, &loop, &QEventLoop::quit);
    window->loadFile(folder + "appended-zip.png");
    loop.exec();
    Save(window->outerWindow(), inputs, "structure.png");

    // A text file named .png: no image at all.
    window->loadFile(QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/text.png"));
    loop.exec();
    Save(window->outerWindow(), inputs, "structure-not-image.png");
}

} // namespace vantrel::render

#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "structure/StructureWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace vantrel::render {

// A PNG with a ZIP appended, its first anomaly selected; the fixture found beside the build
// tree or under VANTREL_SOURCE_DIR.
void RenderStructureScenes(MDIForm1& main, const Inputs& inputs) {
    const QString relative = "/tests/data/structure/";
    QString folder = qEnvironmentVariable("VANTREL_SOURCE_DIR") + relative;
    for (QDir up(QCoreApplication::applicationDirPath());
         !QFileInfo::exists(folder + "appended-zip.png") && up.cdUp();) {
        folder = up.path() + relative;
    }
    auto* window = new StructureWindow;
    main.addChildWindow(window);
    QEventLoop loop;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    QObject::connect(window, &StructureWindow::structureShown, &loop, &QEventLoop::quit);
    window->loadFile(folder + "appended-zip.png");
    loop.exec();
    Save(window->outerWindow(), inputs, "structure.png");
}

} // namespace vantrel::render

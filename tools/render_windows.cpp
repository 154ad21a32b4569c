// Opens windows with sample images on the offscreen platform and saves each as a PNG, for the
// README and for looking at what the windows show.
// Usage: vantrel-render OUTDIR [IMAGE1 [IMAGE2]]
#include "RenderScenes.h"

#include "app/Form3.h"
#include "app/Form5.h"
#include "app/MDIForm1.h"

#include <QApplication>
#include <QDir>
#include <QMdiArea>

#include <cstdio>
#include <utility>

namespace vantrel::render {

void RenderBlindScenes(MDIForm1& main, const Inputs& inputs);
void RenderSteghideScenes(MDIForm1& main, const Inputs& inputs);
void RenderJpegScenes(MDIForm1& main, const Inputs& inputs);
void RenderStructureScenes(MDIForm1& main, const Inputs& inputs);
void RenderVerdictScenes(MDIForm1& main, const Inputs& inputs);

void Save(QWidget* widget, const Inputs& inputs, const QString& name) {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
    }
    const QString path = inputs.outDir + "/" + name;
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
    } else {
        std::printf("%s\n", qPrintable(path));
    }
}

// The bit-extraction window (tools/scenes_extract.cpp).
void RenderExtractScenes(MDIForm1& main, const Inputs& inputs);

namespace {

void RenderAppScenes(MDIForm1& main, const Inputs& inputs) {
    main.About_Click();
    if (auto* about = main.findChild<Form3*>()) {
        Save(about->outerWindow(), inputs, "about.png");
    }
    main.Help_Click();
    if (auto* help = main.findChild<Form5*>()) {
        Save(help->outerWindow(), inputs, "help.png");
    }
}

} // namespace

} // namespace vantrel::render

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vantrel-render OUTDIR [IMAGE1 [IMAGE2]]\n");
        return 2;
    }
    vantrel::render::Inputs inputs;
    inputs.outDir = QString::fromLocal8Bit(argv[1]);
    inputs.image1 = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    inputs.image2 = argc > 3 ? QString::fromLocal8Bit(argv[3]) : inputs.image1;
    QDir().mkpath(inputs.outDir);

    using Scenes = void (*)(vantrel::MDIForm1&, const vantrel::render::Inputs&);
    const std::pair<Scenes, const char*> groups[] = {
        {vantrel::render::RenderAppScenes, "app"},
        {vantrel::render::RenderOneWindowScenes, "onewindow"},
        {vantrel::render::RenderMultiWindowScenes, "multiwindow"},
        {vantrel::render::RenderGridScenes, "grid"},
        {vantrel::render::RenderSearchScenes, "search"},
        {vantrel::render::RenderExtractScenes, "extract"},
        {vantrel::render::RenderBlindScenes, "blind"},
        {vantrel::render::RenderSteghideScenes, "steghide"},
        {vantrel::render::RenderJpegScenes, "jpeg"},
        {vantrel::render::RenderStructureScenes, "structure"},
        {vantrel::render::RenderVerdictScenes, "verdict"}};
    for (const auto& [scenes, name] : groups) {
        // A laptop's screen: the windows as they are placed in a main window of 1280 x 800.
        vantrel::MDIForm1 main;
        main.setWindowState(Qt::WindowNoState);
        main.resize(1280, 800);
        main.show();
        scenes(main, inputs);
        vantrel::render::Save(&main, inputs, QStringLiteral("placed-%1.png").arg(name));
        main.mdiArea()->closeAllSubWindows();
    }
    return 0;
}

#pragma once
// Each subsystem adds the windows it wants rendered; render_windows.cpp runs them all.
#include <QString>

class QWidget;

namespace vantrel {
class MDIForm1;
}

namespace vantrel::render {

struct Inputs {
    QString outDir;
    QString image1; // a test image, may be empty
    QString image2; // a second image (original), may be empty
};

// Makes the next ChooseImageFile answer this path.
// Processes pending events and saves the widget's picture as OUTDIR/name.
void Save(QWidget* widget, const Inputs& inputs, const QString& name);

void RenderOneWindowScenes(MDIForm1& main, const Inputs& inputs);
void RenderMultiWindowScenes(MDIForm1& main, const Inputs& inputs);
void RenderGridScenes(MDIForm1& main, const Inputs& inputs);
void RenderSearchScenes(MDIForm1& main, const Inputs& inputs);

} // namespace vantrel::render

#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "onewindow/Form4.h"

#include <QAbstractButton>

namespace vantrel::render {

// The analysis window after "Calc" (the Diff view, the column curves and the chi-squared test
// of the test image against the original) and after "PSNR"; then after "Vari.." on the red
// channel. The screenshots of the README were made from a plasma picture as the original and a
// copy whose LSBs in the 160 leftmost columns were replaced by noise:
//   convert -size 400x300 -seed 7 plasma:fractal -blur 0x1 PNG24:original.png
//   convert original.png -seed 3
//       -fx "i<160 ? (floor(u*255/2)*2 + floor(rand()*2))/255 : u" PNG24:test.png
void RenderOneWindowScenes(MDIForm1& main, const Inputs& inputs) {
    main.OneWindowAnalysis_Click();
    auto* form4 = main.findChild<Form4*>();
    if (!inputs.image1.isEmpty()) {
        form4->LoadTestImage(inputs.image1);
        form4->LoadOriginalImage(inputs.image2);
        form4->Command1_Click();
        form4->Command5_Click();
    }
    Save(form4->outerWindow(), inputs, "form4.png");
    Save(&main, inputs, "main-window.png");
    if (auto* red = form4->findChild<QAbstractButton*>(QStringLiteral("Option1_1"))) {
        red->click();
        form4->Command4_Click();
        Save(form4->outerWindow(), inputs, "form4-variation.png");
    }
}

} // namespace vantrel::render

#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "onewindow/Form4.h"

namespace vantrel::render {

void RenderOneWindowScenes(MDIForm1& main, const Inputs& inputs) {
    main.OneWindowAnalysis_Click();
    auto* form4 = main.findChild<Form4*>();
    if (!inputs.image1.isEmpty()) {
        ChooseNext(inputs.image1);
        form4->Command2_Click();
        ChooseNext(inputs.image2);
        form4->Command6_Click();
        form4->Command1_Click();
    }
    Save(form4->outerWindow(), inputs, "form4.png");
    Save(&main, inputs, "main-window.png");
}

} // namespace vantrel::render

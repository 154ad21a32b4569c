#pragma once
// The bit-plane analysis window: the 45 analysis pictures of one image.
#include "multiwindow/AnalysisGridWindow.h"

namespace vantrel {

class S1_Analysis : public AnalysisGridWindow {
    Q_OBJECT

public:
    // The image is shared with the opener, never copied.
    explicit S1_Analysis(SharedImage image = nullptr, QWidget* parent = nullptr);

    SharedImage FIBMP1; // the image, shared with the opener

    void StartAnalysis();

protected:
    void releaseImages() override;
};

} // namespace vantrel

#pragma once
#include "image/Bitmap.h"
#include "image/WindowKit.h"

namespace vantrel {

class S1_Analysis : public ChildWindow {
    Q_OBJECT

public:
    explicit S1_Analysis(QWidget* parent = nullptr);

    BitmapHandle FIBMP1;

    void StartAnalysis();
};

} // namespace vantrel

#pragma once
#include "image/Bitmap.h"
#include "image/WindowKit.h"

namespace vantrel {

class S2_Comparison : public ChildWindow {
    Q_OBJECT

public:
    explicit S2_Comparison(QWidget* parent = nullptr);

    BitmapHandle FIBMP1;
    BitmapHandle FIBMP2;

    void StartComparison();
};

} // namespace vantrel

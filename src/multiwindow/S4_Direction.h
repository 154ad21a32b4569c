#pragma once
#include "image/Bitmap.h"
#include "image/WindowKit.h"

namespace vantrel {

class S4_Direction : public ChildWindow {
    Q_OBJECT

public:
    explicit S4_Direction(QWidget* parent = nullptr);

    BitmapHandle FIBMP1;
    BitmapHandle FIBMP2;

    void StartComparison();
};

} // namespace vantrel

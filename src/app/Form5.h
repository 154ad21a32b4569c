#pragma once
#include "widgets/WindowKit.h"

namespace vantrel {

// The Help window.
class Form5 : public ChildWindow {
    Q_OBJECT

public:
    explicit Form5(QWidget* parent = nullptr);
};

} // namespace vantrel

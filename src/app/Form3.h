#pragma once
#include "widgets/WindowKit.h"

namespace vantrel {

// The About window.
class Form3 : public ChildWindow {
    Q_OBJECT

public:
    explicit Form3(QWidget* parent = nullptr);

public slots:
    void Command8_Click();
};

} // namespace vantrel

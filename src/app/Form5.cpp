#include "app/Form5.h"

#include <QPlainTextEdit>

namespace vantrel {

Form5::Form5(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Help"));
    setMinMaxButtons(false);
    SetBackgroundColour(this, QColor(192, 192, 192));
    setClientSizeTwips(10950, 7710);

    auto* text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("Text1"));
    text->setFont(ConsolasFont());
    text->setPlainText(QStringLiteral("Help\r\n"));
    SetBackgroundColour(text, QColor(192, 192, 192));
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PlaceTwips(text, 285, 195, 10275, 7260);
}

} // namespace vantrel

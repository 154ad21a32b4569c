#include "app/Form3.h"

#include "widgets/PictureBox.h"

#include <QLabel>
#include <QPushButton>

namespace vantrel {
namespace {

QLabel* AboutLabel(QWidget* parent, const QString& name, const QString& text, QRect twips,
                   const QFont& font, const QColor& background, Qt::Alignment alignment) {
    QLabel* label =
        MakeLabel(parent, name, text, twips.x(), twips.y(), twips.width(), twips.height());
    label->setFont(font);
    label->setAlignment(alignment | Qt::AlignTop);
    SetBackgroundColour(label, background);
    return label;
}

} // namespace

Form3::Form3(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About"));
    setMinMaxButtons(false);
    SetBackgroundColour(this, QColor(208, 218, 227));
    setClientSizeTwips(4965, 2835);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Picture1"));
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    PlaceTwips(icon, 4260, 450, 480, 480);

    QFont title(QStringLiteral("Arial"));
    title.setPointSizeF(26.25);
    title.setBold(true);
    AboutLabel(this, QStringLiteral("Label4"), QStringLiteral("Vantrel"), {285, 345, 3810, 690},
               title, QColor(228, 231, 233), Qt::AlignHCenter);
    AboutLabel(this, QStringLiteral("Label2"),
               QStringLiteral("Steganalysis workbench for still images."), {360, 1260, 4065, 450},
               ConsolasFont(8.25, false), QColor(208, 218, 227), Qt::AlignLeft);
    AboutLabel(this, QStringLiteral("Label1"), QStringLiteral("Vantrel 1.0"),
               {360, 1860, 2700, 405}, ConsolasFont(14.25), QColor(190, 200, 210),
               Qt::AlignHCenter);
    AboutLabel(this, QStringLiteral("Label3"), QStringLiteral("01 JAN 2018"),
               {375, 2295, 2715, 195}, ConsolasFont(8.25), QColor(255, 192, 192), Qt::AlignHCenter);

    QPushButton* ok = MakeButton(this, QStringLiteral("Command8"), QStringLiteral("OK"), {}, 3330,
                                 2175, 1290, 405);
    SetBackgroundColour(ok, QColor(208, 218, 227));
    connect(ok, &QPushButton::clicked, this, &Form3::Command8_Click);
}

void Form3::Command8_Click() {
    closeWindow();
}

} // namespace vantrel

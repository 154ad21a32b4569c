#include "multiwindow/S0_Images.h"

#include "multiwindow/S1_Analysis.h"
#include "multiwindow/S2_Comparison.h"
#include "multiwindow/S4_Direction.h"
#include "openimage/OpenImage.h"
#include "viewer/S3_FullSize.h"
#include "widgets/ChooseImageFile.h"
#include "widgets/FileDrops.h"
#include "widgets/OpenedImageView.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace vantrel {
namespace {

const QColor kPictureGrey(31, 31, 31);

void CopyText(const QString& text) {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

QPlainTextEdit* MakeTextBox(QWidget* parent, const QString& objectName, int left, int top,
                            int width, int height) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(objectName);
    box->setFont(ConsolasFont());
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PlaceTwips(box, left, top, width, height);
    ShowBlock(box, "File information.\r\n");
    return box;
}

PictureBox* MakeThumbnail(QWidget* parent, const QString& objectName, int left, int top) {
    PictureBox* thumbnail =
        MakePicture(parent, objectName, left, top, 4500, 4500, kPictureGrey, true);
    // The whole 300-pixel thumbnail fits inside the frame.
    thumbnail->setSurfaceSize(kThumbnailSide, kThumbnailSide);
    return thumbnail;
}

} // namespace

S0_Images::S0_Images(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("S0_Images"));
    setWindowTitle(QStringLiteral("Images"));
    SetBackgroundColour(this, QColor(192, 192, 192));

    const QString browseTip = QStringLiteral("Browse for image to load.");
    Command1 = MakeButton(this, QStringLiteral("Command1"), QStringLiteral("Browse"), browseTip,
                          150, 90, 795, 400);
    Command3 = MakeButton(this, QStringLiteral("Command3"), QStringLiteral("Analysis"), {}, 1080,
                          90, 1095, 400);
    Command5 = MakeButton(this, QStringLiteral("Command5"), QStringLiteral("Image Comparison"), {},
                          2280, 90, 2070, 400);
    Command8 = MakeButton(this, QStringLiteral("Command8"),
                          QStringLiteral("Image Change Directions"), {}, 4440, 90, 2895, 400);
    Command7 = MakeButton(this, QStringLiteral("Command7"), QStringLiteral("Copy"), {}, 7560, 90,
                          795, 400);
    Label1 = MakeLabel(this, QStringLiteral("Label1"), {}, 180, 555, 8000, 180);
    Picture3 = MakeThumbnail(this, QStringLiteral("Picture3"), 150, 780);
    Text1 = MakeTextBox(this, QStringLiteral("Text1"), 4830, 795, 3420, 4500);

    Command2 = MakeButton(this, QStringLiteral("Command2"), QStringLiteral("Browse"), browseTip,
                          165, 5400, 795, 400);
    Command4 = MakeButton(this, QStringLiteral("Command4"), QStringLiteral("Analysis"), {}, 1395,
                          5400, 1095, 400);
    Command6 = MakeButton(this, QStringLiteral("Command6"), QStringLiteral("Copy"), {}, 7440, 5400,
                          795, 400);
    Label2 = MakeLabel(this, QStringLiteral("Label2"), {}, 165, 5865, 8000, 180);
    Picture4 = MakeThumbnail(this, QStringLiteral("Picture4"), 165, 6120);
    Text2 = MakeTextBox(this, QStringLiteral("Text2"), 4815, 6135, 3420, 4500);
    for (QPushButton* button : {Command3, Command4, Command5, Command8}) {
        button->setEnabled(false);
    }

    connect(Command1, &QPushButton::clicked, this, &S0_Images::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &S0_Images::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &S0_Images::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &S0_Images::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &S0_Images::Command5_Click);
    connect(Command8, &QPushButton::clicked, this, &S0_Images::Command8_Click);
    connect(Command7, &QPushButton::clicked, this, &S0_Images::Command7_Click);
    connect(Command6, &QPushButton::clicked, this, &S0_Images::Command6_Click);
    AcceptFileDrops(Picture3, [this](const QString& path) { LoadImage1(path); });
    AcceptFileDrops(Picture4, [this](const QString& path) { LoadImage2(path); });
    connect(Picture3, &PictureBox::clicked, this, &S0_Images::Picture3_Click);
    connect(Picture4, &PictureBox::clicked, this, &S0_Images::Picture4_Click);

    setClientSizeTwips(8475, 10770);
}

S0_Images::Slot S0_Images::slot1() {
    return {FIBMP1, ImageFile1, Label1, Picture3, Text1, Command3};
}

S0_Images::Slot S0_Images::slot2() {
    return {FIBMP2, ImageFile2, Label2, Picture4, Text2, Command4};
}

void S0_Images::browseSlot(const Slot& slot) {
    // A cancelled Browse keeps the slot's image, and every window opened on it.
    if (const std::optional<QString> chosen = chooseImageFile()) {
        loadSlot(slot, *chosen);
    }
}

void S0_Images::loadSlot(const Slot& slot, const QString& path) {
    BusyCursor busy;
    // The old image goes only now that a new path has been chosen.
    slot.image.reset();
    slot.path = path;
    const OpenedImage opened = OpenImageFile(PathBytes(slot.path));
    ShowOpenedImage(this, opened, slot.path,
                    {slot.pathLabel, slot.thumbnail, nullptr, slot.information});
    if (opened.decoded()) {
        slot.image = opened.image;
    }
    slot.analysis->setEnabled(true);

    // With one slot empty the pair buttons keep their state.
    if (FIBMP1 && FIBMP2) {
        const bool sameSize = FIBMP1->size() == FIBMP2->size();
        Command5->setEnabled(sameSize);
        Command8->setEnabled(sameSize);
    }
}

void S0_Images::Command1_Click() {
    browseSlot(slot1());
}
void S0_Images::Command2_Click() {
    browseSlot(slot2());
}
void S0_Images::LoadImage1(const QString& path) {
    loadSlot(slot1(), path);
}
void S0_Images::LoadImage2(const QString& path) {
    loadSlot(slot2(), path);
}

void S0_Images::openAnalysis(const SharedImage& image, const QString& path) {
    auto* analysis = new S1_Analysis(image);
    openChild(analysis);
    analysis->setWindowTitle(analysis->windowTitle() + QStringLiteral(" ") + path);
    analysis->StartAnalysis();
}

void S0_Images::Command3_Click() {
    openAnalysis(FIBMP1, ImageFile1);
}
void S0_Images::Command4_Click() {
    openAnalysis(FIBMP2, ImageFile2);
}

template <typename PairWindow> void S0_Images::openPairWindow() {
    auto* window = new PairWindow(FIBMP1, FIBMP2);
    openChild(window);
    window->setWindowTitle(ImageFile1 + QStringLiteral(" [vs] ") + ImageFile2);
    window->StartComparison();
}

void S0_Images::Command5_Click() {
    openPairWindow<S2_Comparison>();
}
void S0_Images::Command8_Click() {
    openPairWindow<S4_Direction>();
}

void S0_Images::Picture3_Click() {
    OpenFullSizeViewer(this, FIBMP1, ImageFile1);
}
void S0_Images::Picture4_Click() {
    OpenFullSizeViewer(this, FIBMP2, ImageFile2);
}

void S0_Images::Command7_Click() {
    CopyText(BlockOf(Text1));
}
void S0_Images::Command6_Click() {
    CopyText(BlockOf(Text2));
}

void S0_Images::Form_QueryUnload() {
    for (PictureBox* picture : {Picture3, Picture4}) {
        picture->setPicture(QImage());
    }
    // The windows opened from here keep the images they were given.
    FIBMP1.reset();
    FIBMP2.reset();
}

void S0_Images::closeEvent(QCloseEvent* event) {
    ChildWindow::closeEvent(event);
    Form_QueryUnload();
}

} // namespace vantrel

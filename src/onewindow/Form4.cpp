#include "onewindow/Form4.h"

#include "onewindow/LocalVariation.h"
#include "onewindow/LsbColumns.h"
#include "onewindow/LsbView.h"
#include "onewindow/Psnr.h"
#include "openimage/OpenImage.h"
#include "widgets/ChooseImageFile.h"
#include "widgets/FileDrops.h"
#include "widgets/OpenedImageView.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace vantrel {
namespace {

const QColor kPictureGrey(31, 31, 31);
const QColor kResultText(128, 0, 0);
const QColor kResultBackground(224, 224, 224);

struct OptionButton {
    int index;
    const char* caption;
    const char* toolTip;
};

// Left to right as they stand in the frame.
constexpr OptionButton kOptionButtons[] = {
    {4, "Diff",
     "Shows pixel LSB differences between image loaded and currently selected input file."},
    {1, "R", "Shows image R LSBs.  Each is set to full-color (255) if it is set."},
    {2, "G", "Shows image G LSBs.  Each is set to full-color (255) if it is set."},
    {3, "B", "Shows image B LSBs.  Each is set to full-color (255) if it is set."},
    {0, "All", "Shows image RGB LSBs.  Each is set to full-color (255) if it is set."},
};

} // namespace

Form4::Form4(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Image Analysis - Allows comparision to original image and "
                                  "examination of LSBs (Least Significant Bits)."));
    SetBackgroundColour(this, QColor(192, 192, 192));

    const QString browseTip = QStringLiteral("Browse for image to load.");
    Command2 = MakeButton(this, QStringLiteral("Command2"), QStringLiteral("Browse"), browseTip,
                          150, 120, 795, 400);
    Label3 = MakeLabel(this, QStringLiteral("Label3"), {}, 150, 600, 4965, 180);
    Picture5 = MakePicture(this, QStringLiteral("Picture5"), 150, 885, 4500, 4500, kPictureGrey);

    Frame1 = new QGroupBox(QStringLiteral("LSB Pixel Option"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFont(ConsolasFont());
    PlaceTwips(Frame1, 5280, 120, 2595, 675);
    // The frame is 173 pixels wide: the five buttons share it without gaps.
    int left = 2;
    for (const OptionButton& option : kOptionButtons) {
        auto* button = new QRadioButton(QString::fromLatin1(option.caption), Frame1);
        button->setObjectName(QStringLiteral("Option1_%1").arg(option.index));
        button->setToolTip(QString::fromLatin1(option.toolTip));
        button->setFont(ConsolasFont());
        const int width = option.index == 4 ? 48 : (option.index == 0 ? 38 : 28);
        button->setGeometry(left, 18, width, 20);
        left += width;
        Option1[option.index] = button;
        connect(button, &QRadioButton::clicked, this,
                [this, index = option.index] { Option1_Click(index); });
    }
    Option1[4]->setChecked(true);

    Command4 = MakeButton(this, QStringLiteral("Command4"), QStringLiteral("Vari.."),
                          QStringLiteral("Show local pixel variations in RGB colors (select color "
                                         "using buttons to the left)."),
                          7965, 240, 795, 400);
    Command1 = MakeButton(this, QStringLiteral("Command1"), QStringLiteral("Calc"),
                          QStringLiteral("Calculate image analysis."), 8880, 240, 795, 400);
    Command3 = MakeButton(this, QStringLiteral("Command3"), QStringLiteral("Copy"),
                          QStringLiteral("Copy analysis image to clipboard."), 9855, 240, 795, 400);
    Command5 = MakeButton(
        this, QStringLiteral("Command5"), QStringLiteral("PSNR"),
        QStringLiteral("Calculate PSNR vs. original image (Peak Signal to Noise Ratio)."), 10770,
        240, 795, 400);
    Label4 = MakeLabel(this, QStringLiteral("Label4"), {}, 11730, 225, 3180, 180);
    Label1 = MakeLabel(this, QStringLiteral("Label1"),
                       QStringLiteral("Chi-Squared Average Probability:"), 15165, 210, 3120, 210);
    Label2 = MakeLabel(this, QStringLiteral("Label2"), {}, 18375, 210, 1200, 210);
    SetBackgroundColour(Label2, kResultBackground);
    SetTextColour(Label2, kResultText);

    Picture2 = MakePicture(this, QStringLiteral("Picture2"), 5070, 915, 4500, 4500,
                           QColor(64, 64, 64), false);
    Picture3 = MakePicture(this, QStringLiteral("Picture3"), 150, 5520, 4500, 1510, Qt::black);
    // The plot's drawable area is the whole 300 by 101 pixels of the box, so that every column
    // up to 299 and every row from 0 (100 %) to 100 (0 %) is seen; the frame goes around it.
    Picture3->setSurfaceSize(Twips(4500), kPlotBottom + 1);
    Picture3->move(Picture3->pos() - QPoint(2, 2));
    Picture3->setToolTip(QStringLiteral(
        "Green: Average LSB Values by Pixel Column. Yellow: Sum of LSB Y Differences. Red: "
        "Chi-Squared Probability of Significance of Difference With Original Image."));

    Command6 = MakeButton(this, QStringLiteral("Command6"), QStringLiteral("Browse"), browseTip,
                          150, 7080, 795, 400);
    Label22 = MakeLabel(this, QStringLiteral("Label22"), {}, 1065, 7200, 1200, 210);
    SetBackgroundColour(Label22, kResultBackground);
    SetTextColour(Label22, kResultText);
    Label33 = MakeLabel(this, QStringLiteral("Label33"), {}, 120, 7560, 4845, 180);
    Picture6 = MakePicture(this, QStringLiteral("Picture6"), 150, 7845, 4500, 4500, kPictureGrey);
    Picture1 =
        MakePicture(this, QStringLiteral("Picture1"), 5130, 7830, 4500, 4500, kPictureGrey, false);
    Picture4 =
        MakePicture(this, QStringLiteral("Picture4"), 10155, 7830, 4500, 4500, kPictureGrey, false);

    AcceptFileDrops(Picture5, [this](const QString& path) { LoadTestImage(path); });
    AcceptFileDrops(Picture6, [this](const QString& path) { LoadOriginalImage(path); });
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form4::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form4::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form4::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form4::Command6_Click);

    // Form_Load
    PixelOption = 4;
    setOuterSizeTwips(20250, 13740);
}

void Form4::loadInto(const QString& path, QLabel* pathLabel, PictureBox* fullSize,
                     PictureBox* thumbnail) {
    BusyCursor busy;
    CurrentFile = path;
    // The window keeps the pictures only: the decoded bitmap goes once they are made.
    ShowOpenedImage(this, OpenImageFile(PathBytes(CurrentFile)), CurrentFile,
                    {pathLabel, thumbnail, fullSize, nullptr});
}

void Form4::Command2_Click() {
    if (const std::optional<QString> chosen = chooseImageFile()) {
        LoadTestImage(*chosen);
    }
}

void Form4::Command6_Click() {
    if (const std::optional<QString> chosen = chooseImageFile()) {
        LoadOriginalImage(*chosen);
    }
}

void Form4::LoadTestImage(const QString& path) {
    loadInto(path, Label3, Picture1, Picture5);
    Picture2->setSurfaceSize(Picture1->surfaceWidth(), Picture1->surfaceHeight());
    Picture2->clear();
    Picture2->refresh();
    Label2->clear();
}

void Form4::LoadOriginalImage(const QString& path) {
    loadInto(path, Label33, Picture4, Picture6);
    Label22->clear();
}

void Form4::Command3_Click() {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(Picture2->surface());
}

void Form4::Option1_Click(int Index) {
    PixelOption = Index;
}

void Form4::Command1_Click() {
    Command1->setEnabled(false);
    {
        BusyCursor busy;
        const PixelView test = ViewOfImage(Picture1->surface());
        const PixelView original = ViewOfImage(Picture4->surface());

        DrawLsbView(static_cast<LsbViewMode>(PixelOption), test, original,
                    MutableViewOfImage(Picture2->surface()));
        Picture2->refresh();

        const LsbColumnCounts testColumns = CountLsbColumns(test, WithChanges::Yes);
        const MutablePixelView plot = MutableViewOfImage(Picture3->surface());
        PlotLsbCurves(LsbCurves(testColumns), plot);
        Picture3->refresh();

        if (!CurrentFile.isEmpty() && Picture4->surfaceWidth() == Picture1->surfaceWidth() &&
            Picture4->surfaceHeight() == Picture1->surfaceHeight()) {
            const ChiSquaredColumns chiSquared =
                ChiSquaredByColumn(testColumns, CountLsbColumns(original, WithChanges::No));
            PlotChiSquared(chiSquared, plot);
            if (chiSquared.average) {
                Label2->setText(
                    QString::fromStdString(FormatChiSquaredAverage(*chiSquared.average)));
            }
            Picture3->refresh();
        }
    }
    Command1->setEnabled(true);
}

void Form4::Command4_Click() {
    static constexpr VariationChannel kChannels[] = {VariationChannel::Red, VariationChannel::Green,
                                                     VariationChannel::Blue};
    for (int index = 1; index <= 3; ++index) {
        if (Option1[index]->isChecked()) {
            ShowLocalVariation(kChannels[index - 1]);
            return;
        }
    }
    QMessageBox message(QMessageBox::Information, QApplication::applicationName(),
                        QStringLiteral("Please select a variation color (Red, Green, or Blue) "
                                       "using the buttons to the left."),
                        QMessageBox::Ok, this);
    message.exec();
}

void Form4::ShowLocalVariation(VariationChannel channel) {
    BusyCursor busy;
    Picture2->clear();
    DrawLocalVariation(ViewOfImage(Picture1->surface()), channel,
                       MutableViewOfImage(Picture2->surface()));
    Picture2->refresh();
}

void Form4::Command5_Click() {
    // An original that could not be decoded has no pixels to compare: that is no perfect match.
    if (Picture4->surfaceWidth() == 0 || Picture4->surfaceHeight() == 0) {
        reportFailure(
            QStringLiteral("No PSNR: the original image %1 has no pixels").arg(Label33->text()));
        return;
    }
    Label4->setText(QString::fromStdString(
        CalcPSNR(ViewOfImage(Picture4->surface()), ViewOfImage(Picture1->surface()))));
}

} // namespace vantrel

#include "multiwindow/AnalysisGridWindow.h"

#include "multiwindow/WindowCapture.h"
#include "viewer/S3_FullSize.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <span>

namespace vantrel {
namespace {

const QColor kWindowGrey(192, 192, 192);
const QColor kBoxGrey(31, 31, 31);
const QColor kHeadingRed(128, 0, 0);
const QColor kWorkingRed(255, 0, 0);
const QColor kCompleteGreen(192, 255, 192);
const QColor kCountGrey(224, 224, 224);
const QColor kChangedPink(255, 150, 150);

constexpr int kThumbnailSide = 100;
constexpr int kGridLeft = 104;
constexpr int kColumnPitch = 112;

// What differs between the three windows.
struct GridLayout {
    const char* objectName;
    const char* caption;
    const char* description;
    int clientWidth;
    int clientHeight;
    int rowTop;
    int rowPitch;
    int headingTop;
    QPoint copyButton;
    bool countLabels;
    bool bitInEveryViewerCaption;
};

GridLayout LayoutOf(PlaneKind kind) {
    if (kind == PlaneKind::Planes) {
        return {"S1_Analysis",
                "Image Analysis: ",
                "Image Analysis: Pixel color bit values and pixel color channel vallues are shown.",
                1117,
                622,
                56,
                112,
                36,
                QPoint(12, 564),
                false,
                true};
    }
    // The comparison and direction windows share their layout; only the texts differ.
    GridLayout layout{"S2_Comparison",
                      "Image Comparison: ",
                      "Image Comparison: Changes in pixel bit values or colors are highlighted. "
                      "Pixels with no change remain black.",
                      1119,
                      695,
                      48,
                      128,
                      22,
                      QPoint(24, 648),
                      true,
                      false};
    if (kind == PlaneKind::Direction) {
        layout.objectName = "S4_Direction";
        layout.caption = "Change Directions: ";
        layout.description = "Direction of Change: Areas of increased bit or color values are "
                             "red. Decreased values are blue.";
    }
    return layout;
}

// Row headings top to bottom, and the column heading of each Label6 index (8 = all bits).
struct RowHeading {
    const char* objectName;
    const char* text;
};
constexpr RowHeading kRowHeadings[kGridRows] = {{"Label5", "All Colors"},
                                                {"Label1", "Red"},
                                                {"Label2", "Green"},
                                                {"Label3", "Blue"},
                                                {"Label4", "Alpha"}};

QString ColumnHeading(int labelIndex) {
    switch (labelIndex) {
    case 8:
        return QStringLiteral("All Bits");
    case 7:
        return QStringLiteral("7-MSB");
    case 0:
        return QStringLiteral("0-LSB");
    default:
        return QString::number(labelIndex);
    }
}

} // namespace

AnalysisGridWindow::AnalysisGridWindow(PlaneKind kind, QWidget* parent)
    : ChildWindow(parent), kind_(kind) {
    const GridLayout layout = LayoutOf(kind);
    setObjectName(QString::fromLatin1(layout.objectName));
    setWindowTitle(QString::fromLatin1(layout.caption));
    SetBackgroundColour(this, kWindowGrey);

    Label7 =
        MakeLabel(this, QStringLiteral("Label7"), QStringLiteral("Working"), QRect(8, 6, 84, 27));
    Label7->setAlignment(Qt::AlignCenter);
    SetBackgroundColour(Label7, kWorkingRed);
    Label8 = MakeLabel(this, QStringLiteral("Label8"), QString::fromLatin1(layout.description),
                       QRect(kGridLeft, 4, layout.clientWidth - kGridLeft - 8, 16));

    for (int labelIndex = 0; labelIndex < kGridColumns; ++labelIndex) {
        const int column = 8 - labelIndex;
        QLabel* heading = MakeLabel(
            this, QStringLiteral("Label6_%1").arg(labelIndex), ColumnHeading(labelIndex),
            QRect(kGridLeft + kColumnPitch * column, layout.headingTop, kThumbnailSide, 16));
        heading->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        SetTextColour(heading, kHeadingRed);
    }
    for (int row = 0; row < kGridRows; ++row) {
        MakeLabel(this, QString::fromLatin1(kRowHeadings[row].objectName),
                  QString::fromLatin1(kRowHeadings[row].text),
                  QRect(8, layout.rowTop + layout.rowPitch * row + 42, 90, 16));
    }

    for (int index = 0; index < kPictureCount; ++index) {
        const PictureIndexEntry place = PictureIndex(index);
        const int left = kGridLeft + kColumnPitch * place.gridColumn;
        const int top = layout.rowTop + layout.rowPitch * place.gridRow;
        PictureBox* box =
            MakePicture(this, QStringLiteral("P1_%1").arg(index), 0, 0, 0, 0, kBoxGrey, false);
        box->move(left, top);
        box->setSurfaceSize(kThumbnailSide, kThumbnailSide);
        box->setCursor(Qt::PointingHandCursor);
        connect(box, &PictureBox::clicked, this, [this, index] { P1_Click(index); });
        P1[index] = box;
        if (layout.countLabels) {
            QLabel* count = MakeLabel(this, QStringLiteral("L1_%1").arg(index), {},
                                      QRect(left, top + 104, kThumbnailSide, 15));
            count->setFont(ConsolasFont(7.5, true));
            count->setAlignment(Qt::AlignCenter);
            SetBackgroundColour(count, kCountGrey);
            L1[index] = count;
        }
    }

    Command3 = MakeButton(this, QStringLiteral("Command3"), QStringLiteral("Copy"),
                          QStringLiteral("Copy analysis image to clipboard."), 0, 0, 0, 0);
    Command3->setGeometry(QRect(layout.copyButton, QSize(53, 27)));
    connect(Command3, &QPushButton::clicked, this, &AnalysisGridWindow::Command3_Click);

    setClientSize(layout.clientWidth, layout.clientHeight);
}

void AnalysisGridWindow::runAnalysis(const SharedImage& first, const SharedImage& second) {
    if (running_) {
        // The pictures of the run in progress are in use: a second run cannot replace them.
        reportFailure(QStringLiteral("%1: an analysis is already running in this window.")
                          .arg(windowTitle()));
        return;
    }
    running_ = true;
    const QPointer<AnalysisGridWindow> alive(this);
    {
        BusyCursor busy;
        // The window holds the images for the whole run, even if its opener lets go of them.
        const SharedImage firstImage = first;
        const SharedImage secondImage = second;
        const PixelView firstView = firstImage ? firstImage->pixels() : PixelView{};
        const PixelView secondView = secondImage ? secondImage->pixels() : PixelView{};
        AnalysisBitmaps_.start(kind_, firstImage ? firstImage->width() : 0,
                               firstImage ? firstImage->height() : 0);
        const bool hasSize = AnalysisBitmaps_.width() > 0 && AnalysisBitmaps_.height() > 0;
        const auto& order = PictureOrder();
        // Every picture is computed in one pass over the images (read from memory once), then
        // the pictures are shown one at a time in the run order.
        std::array<std::int64_t, kPictureCount> counted{};
        std::array<bool, kPictureCount> made{};
        if (hasSize) {
            AnalysisBitmaps_.computeMany(order, firstView, secondView, counted, made,
                                         kThumbnailSide);
        }
        for (std::size_t position = 0; position < order.size(); ++position) {
            const int index = order[position];
            const std::int64_t changes = counted[position];
            if (hasSize && !made[position]) {
                reportFailure(QStringLiteral("Not enough memory for analysis picture %1 of %2 x "
                                             "%3 pixels.")
                                  .arg(index)
                                  .arg(AnalysisBitmaps_.width())
                                  .arg(AnalysisBitmaps_.height()));
            }
            showPicture(index, changes);
            emit pictureShown(index);
            YieldToEvents();
            if (!alive) {
                return; // the window is gone, and its bitmaps with it
            }
            if (isClosing()) {
                running_ = false;
                releaseBitmaps();
                return;
            }
        }
        Label7->setText(QStringLiteral("Complete"));
        SetBackgroundColour(Label7, kCompleteGreen);
        SetTextColour(Label7, Qt::black);
    }
    running_ = false;
    YieldToEvents();
}

void AnalysisGridWindow::showPicture(int index, std::int64_t changes) {
    P1[index]->setPicture(BitmapToPicture(AnalysisBitmaps_.thumbnail(index, kThumbnailSide)));
    P1[index]->repaint();
    if (QLabel* count = L1[index]) {
        const std::int64_t total =
            ChangeTotal(index, AnalysisBitmaps_.width(), AnalysisBitmaps_.height());
        const std::string separator = QLocale().groupSeparator().toStdString();
        count->setText(QString::fromStdString(CountLabel(changes, total, separator)));
        SetBackgroundColour(count, changes < 1 ? kCompleteGreen : kChangedPink);
    }
}

void AnalysisGridWindow::P1_Click(int Index) {
    if (Index < 0 || Index >= kPictureCount) {
        return;
    }
    QString caption = windowTitle();
    if (LayoutOf(kind_).bitInEveryViewerCaption || Index < kFirstColourBitPicture) {
        caption += QStringLiteral(" - Bit: ") + QString::number(Index);
    }
    // The viewer's picture outlives this window's: a full-colour copy made for it alone.
    OpenFullSizeViewer(this, ShareImage(AnalysisBitmaps_.fullBitmap(Index)), caption);
}

void AnalysisGridWindow::Command3_Click() {
    CopyWindowImage(this, Command3, Label7);
}

void AnalysisGridWindow::closeEvent(QCloseEvent* event) {
    ChildWindow::closeEvent(event);
    if (!running_) {
        releaseBitmaps();
    }
}

void AnalysisGridWindow::releaseBitmaps() {
    AnalysisBitmaps_.release();
    releaseImages();
}

void ImagePairGridWindow::StartComparison() {
    runAnalysis(FIBMP1, FIBMP2);
}

void ImagePairGridWindow::releaseImages() {
    FIBMP1.reset();
    FIBMP2.reset();
}

} // namespace vantrel

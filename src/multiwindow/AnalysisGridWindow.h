#pragma once
// The window the bit-plane, comparison and direction windows share: 45 thumbnail boxes in a grid
// of five channel rows and nine bit columns, their headings, a status label, count labels under
// the boxes (comparison and direction), thumbnails that open a full-size viewer, and Copy.
// Each window supplies only its texts and its kind of picture.
#include "image/Image.h"
#include "multiwindow/AnalysisBitmaps.h"
#include "widgets/WindowKit.h"

#include <array>

class QLabel;
class QPushButton;
class QCloseEvent;

namespace vantrel {

class PictureBox;

class AnalysisGridWindow : public ChildWindow {
    Q_OBJECT

public:
    PlaneKind kind() const { return kind_; }
    bool isRunning() const { return running_; }
    const AnalysisBitmaps& analysisBitmaps() const { return AnalysisBitmaps_; }

signals:
    // A picture's thumbnail (and count label) is shown; the run yields next.
    void pictureShown(int index);

public slots:
    void P1_Click(int Index);
    void Command3_Click();

protected:
    AnalysisGridWindow(PlaneKind kind, QWidget* parent);

    // Computes the 45 pictures of the images in run order, yielding once after each. A window
    // closed during a yield stops there, and only then lets go of its bitmaps.
    void runAnalysis(const SharedImage& first, const SharedImage& second);

    // Releases the window's own image copies.
    virtual void releaseImages() = 0;

    // Form_QueryUnload: releases every bitmap, unless a run still uses them; that run releases
    // them at its next yield. The close is never cancelled.
    void closeEvent(QCloseEvent* event) override;

private:
    void showPicture(int index, std::int64_t changes);
    void releaseBitmaps();

    PlaneKind kind_;
    bool running_ = false;
    AnalysisBitmaps AnalysisBitmaps_;

    QLabel* Label7 = nullptr; // status
    QLabel* Label8 = nullptr; // description
    QPushButton* Command3 = nullptr;
    std::array<PictureBox*, kPictureCount> P1{};
    std::array<QLabel*, kPictureCount> L1{}; // count labels; null in the bit-plane window
};

// The comparison and direction windows: two images handed over by their opener at construction.
class ImagePairGridWindow : public AnalysisGridWindow {
    Q_OBJECT

public:
    SharedImage FIBMP1; // the images, shared with the opener
    SharedImage FIBMP2;

    // Runs the comparison of the current FIBMP1 and FIBMP2.
    void StartComparison();

protected:
    ImagePairGridWindow(PlaneKind kind, SharedImage first, SharedImage second, QWidget* parent)
        : AnalysisGridWindow(kind, parent), FIBMP1(std::move(first)), FIBMP2(std::move(second)) {}
    void releaseImages() override;
};

} // namespace vantrel

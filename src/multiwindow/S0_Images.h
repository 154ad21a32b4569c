#pragma once
// The image pair hub: two images with their thumbnails and file information, and the windows
// that analyse them. Images are immutable and shared: a window opened from here holds the image
// it was given for as long as it lives, whatever the hub loads next.
#include "image/Image.h"
#include "widgets/WindowKit.h"

#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vantrel {

class PictureBox;

class S0_Images : public ChildWindow {
    Q_OBJECT

public:
    explicit S0_Images(QWidget* parent = nullptr);

    SharedImage FIBMP1; // image 1
    QString ImageFile1;
    SharedImage FIBMP2; // image 2
    QString ImageFile2;

public slots:
    void Command1_Click(); // Browse: image 1
    void Command2_Click(); // Browse: image 2
    void Command3_Click(); // Analysis of image 1
    void Command4_Click(); // Analysis of image 2
    void Command5_Click(); // Image Comparison
    void Command8_Click(); // Image Change Directions
    void Command7_Click(); // Copy the information of image 1
    void Command6_Click(); // Copy the information of image 2
    void Picture3_Click(); // viewer on image 1
    void Picture4_Click(); // viewer on image 2

    // What the two Browse buttons do once a file is chosen (also for dropped files).
    void LoadImage1(const QString& path);
    void LoadImage2(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The controls and fields of one slot.
    struct Slot {
        SharedImage& image;
        QString& path;
        QLabel* pathLabel;
        PictureBox* thumbnail;
        QPlainTextEdit* information;
        QPushButton* analysis;
    };
    Slot slot1();
    Slot slot2();
    void browseSlot(const Slot& slot);
    void loadSlot(const Slot& slot, const QString& path);
    void openAnalysis(const SharedImage& image, const QString& path);
    template <typename PairWindow> void openPairWindow();
    void Form_QueryUnload();

    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QPlainTextEdit* Text2 = nullptr;
    PictureBox* Picture3 = nullptr; // thumbnail of image 1
    PictureBox* Picture4 = nullptr; // thumbnail of image 2
};

} // namespace vantrel

#pragma once
// The one-window analysis window: a test image and an original image, shown only as display
// pictures, and the LSB, PSNR and variation analyses on them.
#include "widgets/WindowKit.h"

#include <QString>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vantrel {

class PictureBox;
enum class VariationChannel;

class Form4 : public ChildWindow {
    Q_OBJECT

public:
    explicit Form4(QWidget* parent = nullptr);

    QString CurrentFile;
    int PixelOption = 4;

public slots:
    void Command1_Click(); // Calc
    void Command2_Click(); // Browse: test image
    void Command3_Click(); // Copy
    void Command4_Click(); // Vari..
    void Command5_Click(); // PSNR
    void Command6_Click(); // Browse: original image
    void Option1_Click(int Index);

    // What the two Browse buttons do once a file is chosen (also for files named on the command
    // line or dropped on a picture).
    void LoadTestImage(const QString& path);
    void LoadOriginalImage(const QString& path);

private:
    // Steps common to both loads: show the path, decode, show thumbnail and full-size picture.
    void loadInto(const QString& path, QLabel* pathLabel, PictureBox* fullSize,
                  PictureBox* thumbnail);
    // Draws the local variation map of one channel of the test picture into the view.
    void ShowLocalVariation(VariationChannel channel);

    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label22 = nullptr;
    QLabel* Label33 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1[5] = {};
    PictureBox* Picture1 = nullptr; // test image, full size
    PictureBox* Picture2 = nullptr; // the view
    PictureBox* Picture3 = nullptr; // the plot
    PictureBox* Picture4 = nullptr; // original image, full size
    PictureBox* Picture5 = nullptr; // test thumbnail
    PictureBox* Picture6 = nullptr; // original thumbnail
};

} // namespace vantrel

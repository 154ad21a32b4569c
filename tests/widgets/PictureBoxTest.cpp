#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <QtTest>

namespace vantrel {

class PictureBoxTest : public QObject {
    Q_OBJECT

private slots:
    void readsOutsideYieldMinusOne() {
        PictureBox box;
        box.setSurfaceSize(3, 2);
        QCOMPARE(box.point(-1, 0), kNoColor);
        QCOMPARE(box.point(3, 0), kNoColor);
        QCOMPARE(box.point(0, 2), kNoColor);
        QCOMPARE(box.point(2, 1), MakeRgb(31, 31, 31));
    }

    void pointsKeepExactColours() {
        PictureBox box;
        box.setSurfaceSize(2, 2);
        box.setPoint(1, 0, 0x00123456);
        QCOMPARE(box.point(1, 0), 0x00123456);
        QCOMPARE(qRed(box.surface().pixel(1, 0)), 0x56);
    }

    void clearShowsBackgroundAndPictureAgain() {
        PictureBox box;
        box.setBackground(QColor(64, 64, 64));
        box.setSurfaceSize(3, 1);
        QImage picture(2, 1, QImage::Format_RGB32);
        picture.fill(QColor(1, 2, 3));
        box.setPicture(picture);
        box.setPoint(0, 0, MakeRgb(9, 9, 9));
        box.clear();
        QCOMPARE(box.point(0, 0), MakeRgb(1, 2, 3));
        QCOMPARE(box.point(2, 0), MakeRgb(64, 64, 64));
    }

    void framedBoxesGrowByTheFrame() {
        PictureBox box;
        box.setFramed(true);
        box.setSurfaceSize(10, 5);
        QCOMPARE(box.size(), QSize(14, 9));
        QCOMPARE(box.surfaceWidth(), 10);
    }

    void conversionsBetweenColourOrders() {
        QCOMPARE(RgbColorFromQRgb(qRgb(0x56, 0x34, 0x12)), 0x00123456);
        QCOMPARE(QRgbFromRgbColor(0x00123456), qRgb(0x56, 0x34, 0x12));
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::PictureBoxTest)
#include "PictureBoxTest.moc"

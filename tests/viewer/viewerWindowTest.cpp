#include "WindowTest.h"
#include "viewer/S3_FullSize.h"
#include "viewer/S5_Zoom.h"
#include "viewer/ViewerMaths.h"

#include <memory>

namespace vantrel {

using namespace testing;

// The viewer and its zoom window, shown as windows of their own (no main window), so that a
// window's outer size is its own size.
class ViewerWindowTest : public QObject {
    Q_OBJECT

    QPointer<S3_FullSize> viewer_;

    // The opener has no MDI area, so the viewer stands alone.
    void openViewer(int width, int height) {
        const BitmapHandle bitmap = PlaceBitmap(width, height);
        ChildWindow opener;
        viewer_ = OpenFullSizeViewer(&opener, ShareImage(CloneBitmap(bitmap.get())),
                                     QStringLiteral("/img/place.png"));
        QVERIFY(QTest::qWaitForWindowExposed(viewer_));
    }

    PictureBox* picture() const { return Child<PictureBox>(viewer_, "P1"); }
    QString readout() const { return Child<QLabel>(viewer_, "Label2")->text(); }

    // Through the window, so that (0, 0) of the picture is a position like any other (Qt Test
    // takes a null point for the widget's centre). Qt drops a move to the same place.
    void moveTo(int x, int y) { QTest::mouseMove(viewer_, picture()->pos() + QPoint(x, y)); }

    S5_Zoom* attachZoom() {
        QTest::mouseClick(Child<QPushButton>(viewer_, "Command1"), Qt::LeftButton);
        S5_Zoom* zoom = viewer_->zoomWindow();
        if (zoom != nullptr) {
            [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(zoom);
        }
        return zoom;
    }

    // The red and green of the zoom picture's centre: the image position it magnifies.
    static QPoint zoomCentre(S5_Zoom* zoom) {
        const QImage& shown = Child<PictureBox>(zoom, "P1")->picture();
        const QRgb centre = shown.pixel(shown.width() / 2, shown.height() / 2);
        return {qRed(centre), qGreen(centre)};
    }

private slots:
    void cleanup() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (qobject_cast<ChildWindow*>(window) != nullptr) {
                window->close();
            }
        }
        DeleteClosedWindows();
    }

    void showsTheImageAtFullSize() {
        openViewer(40, 30);
        QCOMPARE(viewer_->windowTitle(), QStringLiteral("/img/place.png"));
        QCOMPARE(Child<QLabel>(viewer_, "Label1")->text(), QStringLiteral("40 X 30 Pixels"));
        QCOMPARE(picture()->surfaceWidth(), 40);
        QCOMPARE(picture()->surfaceHeight(), 30);
        QCOMPARE(picture()->point(0, 0), MakeRgb(0, 0, 7));
        QCOMPARE(picture()->point(39, 29), MakeRgb(39, 29, 7));

        openViewer(1, 1);
        QCOMPARE(Child<QLabel>(viewer_, "Label1")->text(), QStringLiteral("1 X 1 Pixels"));
    }

    void readoutFollowsThePointer() {
        openViewer(4, 3);
        moveTo(0, 0);
        QCOMPARE(readout(), QStringLiteral("[X:0000 Y:0000] - R:000 G:000 B:007 A:000"));
        moveTo(3, 2);
        QCOMPARE(readout(), QStringLiteral("[X:0003 Y:0002] - R:003 G:002 B:007 A:000"));
        // Over the window's own surface, outside the picture, the readout is cleared.
        QTest::mouseMove(viewer_, QPoint(2, viewer_->height() - 2));
        QCOMPARE(readout(), QString());
        moveTo(1, 1);
        QCOMPARE(readout(), QStringLiteral("[X:0001 Y:0001] - R:001 G:001 B:007 A:000"));
    }

    void copyPutsThePictureOnTheClipboard() {
        openViewer(12, 9);
        QApplication::clipboard()->setText(QStringLiteral("old"));
        QTest::mouseClick(Child<QPushButton>(viewer_, "Command3"), Qt::LeftButton);
        const QImage copied = QApplication::clipboard()->image();
        QCOMPARE(copied.size(), QSize(12, 9));
        QCOMPARE(RgbColorFromQRgb(copied.pixel(11, 8)), MakeRgb(11, 8, 7));
        QCOMPARE(QApplication::clipboard()->text(), QString());
    }

    void zoomOpensWithThePlaceholder() {
        openViewer(250, 250);
        S5_Zoom* zoom = attachZoom();
        QVERIFY(zoom);
        QCOMPARE(viewer_->ZoomOpen, 1);
        QCOMPARE(zoom->windowTitle(), viewer_->windowTitle());
        QCOMPARE(zoom->ParentForm.data(), viewer_.data());
        QCOMPARE(Child<QLabel>(zoom, "Label1")->text(), QStringLiteral("0 X 0 Pixels"));
        QCOMPARE(Child<QLabel>(zoom, "Label8")->text(), QStringLiteral("500%"));
        const QImage& placeholder = Child<PictureBox>(zoom, "P1")->picture();
        QCOMPARE(placeholder.size(), QSize(10, 10));
        QCOMPARE(placeholder.pixel(9, 9), qRgb(0, 0, 0));
        // A second "Zoom" while one is attached makes no other window.
        QCOMPARE(attachZoom(), zoom);
    }

    void zoomShowsTheRegionAroundThePointer() {
        openViewer(250, 250);
        S5_Zoom* zoom = attachZoom();
        moveTo(150, 150);
        QCOMPARE(Child<QLabel>(zoom, "Label1")->text(), QStringLiteral("582 X 515 Pixels"));
        const BitmapHandle expected =
            ZoomCutOut(viewer_->FIBMP->bitmap(), 582, 515, ZoomRectangle(150, 150, 582, 515, 5));
        QCOMPARE(Child<PictureBox>(zoom, "P1")->picture(),
                 BitmapToPicture(CloneBitmap(expected.get())));
        const QPoint centre = zoomCentre(zoom);
        QVERIFY(qAbs(centre.x() - 150) <= 1 && qAbs(centre.y() - 150) <= 1);

        // Too close to an edge for the rectangle: the zoom keeps its picture.
        moveTo(20, 200);
        QCOMPARE(readout(), QStringLiteral("[X:0020 Y:0200] - R:020 G:200 B:007 A:000"));
        QCOMPARE(zoomCentre(zoom), centre);

        QApplication::clipboard()->clear();
        QTest::mouseClick(Child<QPushButton>(zoom, "Command3"), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->image().size(), QSize(582, 515));
    }

    void rightClickFreezesLeftClickRestores() {
        openViewer(250, 250);
        S5_Zoom* zoom = attachZoom();
        moveTo(100, 100);
        QCOMPARE(zoomCentre(zoom).x(), 100);
        QTest::mouseClick(picture(), Qt::RightButton, {}, QPoint(100, 100));
        moveTo(140, 130);
        QCOMPARE(readout(), QStringLiteral("[X:0140 Y:0130] - R:140 G:130 B:007 A:000"));
        QCOMPARE(zoomCentre(zoom).x(), 100);
        QTest::mouseClick(picture(), Qt::LeftButton, {}, QPoint(140, 130));
        moveTo(141, 130);
        QCOMPARE(zoomCentre(zoom).x(), 141);
    }

    void factorScrollBar() {
        openViewer(250, 250);
        S5_Zoom* zoom = attachZoom();
        moveTo(125, 125);
        const QImage before = Child<PictureBox>(zoom, "P1")->picture();
        auto* factor = Child<QScrollBar>(zoom, "HScroll1");
        factor->setValue(10);
        QCOMPARE(Child<QLabel>(zoom, "Label8")->text(), QStringLiteral("1000%"));
        QCOMPARE(zoom->ZoomScale, 10);
        QCOMPARE(Child<PictureBox>(zoom, "P1")->picture(), before);
        moveTo(126, 125);
        const BitmapHandle expected =
            ZoomCutOut(viewer_->FIBMP->bitmap(), 582, 515, ZoomRectangle(126, 125, 582, 515, 10));
        QCOMPARE(Child<PictureBox>(zoom, "P1")->picture(),
                 BitmapToPicture(CloneBitmap(expected.get())));
        // The viewer divides by the factor: it never reaches 0.
        factor->setValue(0);
        QCOMPARE(zoom->ZoomScale, 1);
        QCOMPARE(Child<QLabel>(zoom, "Label8")->text(), QStringLiteral("100%"));
    }

    void resizingTakesEffectOneUpdateLate() {
        openViewer(250, 250);
        S5_Zoom* zoom = attachZoom();
        moveTo(125, 125);
        zoom->resize(700, 400);
        QCoreApplication::processEvents();
        QCOMPARE(zoom->ResizeFlag, 1);
        QCOMPARE(zoom->W, 582);
        moveTo(126, 125);
        // This update was cut at the old size; the label too shows the old size.
        QCOMPARE(Child<QLabel>(zoom, "Label1")->text(), QStringLiteral("582 X 515 Pixels"));
        QCOMPARE(zoom->FIBMP->width(), 582);
        QCOMPARE(zoom->W, 667);
        QCOMPARE(zoom->h, 313);
        moveTo(127, 125);
        QCOMPARE(Child<QLabel>(zoom, "Label1")->text(), QStringLiteral("667 X 313 Pixels"));
        QCOMPARE(zoom->FIBMP->width(), 667);
        QCOMPARE(zoom->FIBMP->height(), 313);
    }

    void closedZoomCanBeOpenedAgain() {
        openViewer(250, 250);
        QPointer<S5_Zoom> first = attachZoom();
        Child<QScrollBar>(first, "HScroll1")->setValue(12);
        first->close();
        QCOMPARE(viewer_->ZoomOpen, 0);
        moveTo(125, 125); // a move between the close and the deletion must not touch it
        DeleteClosedWindows();
        QVERIFY(first.isNull());
        QVERIFY(viewer_->zoomWindow() == nullptr);
        S5_Zoom* second = attachZoom();
        QVERIFY(second);
        QCOMPARE(second->ZoomScale, 5);
        QCOMPARE(Child<QLabel>(second, "Label8")->text(), QStringLiteral("500%"));
        moveTo(126, 125);
        QCOMPARE(zoomCentre(second).x(), 126);
    }

    void zoomOutlivesItsViewer() {
        openViewer(250, 250);
        QPointer<S5_Zoom> zoom = attachZoom();
        moveTo(125, 125);
        const QImage last = Child<PictureBox>(zoom, "P1")->picture();
        viewer_->close();
        DeleteClosedWindows();
        QVERIFY(viewer_.isNull());
        QVERIFY(zoom);
        QVERIFY(zoom->ParentForm.isNull());
        QCOMPARE(Child<PictureBox>(zoom, "P1")->picture(), last);
        QVERIFY(zoom->FIBMP);
        zoom->close();
        DeleteClosedWindows();
        QVERIFY(zoom.isNull());
    }

    // Inside the main window the outer size is the frame's, title bar included.
    void zoomInsideTheMainWindow() {
        MDIForm1 main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const BitmapHandle bitmap = PlaceBitmap(250, 250);
        auto* opener = new ChildWindow;
        main.addChildWindow(opener);
        viewer_ = OpenFullSizeViewer(opener, ShareImage(CloneBitmap(bitmap.get())),
                                     QStringLiteral("framed"));
        QVERIFY(viewer_->subWindow());
        QCOMPARE(viewer_->subWindow()->size(), QSize(283, 337));
        S5_Zoom* zoom = attachZoom();
        QVERIFY(zoom->subWindow());
        QCOMPARE(zoom->subWindow()->size(), QSize(615, 602));
        QCOMPARE(main.mdiArea()->subWindowList().size(), 3); // opener, viewer, zoom
        // Closed through its frame, the zoom window still detaches itself.
        zoom->closeWindow();
        QCOMPARE(viewer_->ZoomOpen, 0);
        main.mdiArea()->closeAllSubWindows();
        DeleteClosedWindows();
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::ViewerWindowTest)
#include "viewerWindowTest.moc"

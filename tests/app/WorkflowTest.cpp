// The analyst's road through the main window: a hub with two images, a comparison window from
// it, a viewer from one of its tiles, and everything closed again in an awkward order.
#include "WindowTest.h"
#include "multiwindow/S0_Images.h"
#include "multiwindow/S2_Comparison.h"
#include "viewer/S3_FullSize.h"

namespace vantrel {

using namespace testing;

class WorkflowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir temp_;

    QString writeImage(const QString& name, QRgb changedPixel) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(qRgb(0x80, 0x40, 0x20));
        image.setPixel(5, 6, changedPixel);
        const QString path = temp_.filePath(name);
        image.save(path);
        return path;
    }

private slots:
    void hubComparisonViewerAndCloseInAnyOrder() {
        MDIForm1 main;
        main.show();
        main.MultiWindowAnalysis_Click();
        QCOMPARE(OpenWindows<S0_Images>(main).size(), 1);
        S0_Images* hub = OpenWindows<S0_Images>(main).front();

        const QString first = writeImage(QStringLiteral("a.png"), qRgb(0x80, 0x40, 0x20));
        const QString second = writeImage(QStringLiteral("b.png"), qRgb(0x81, 0x40, 0x20));
        ChooseFile(hub, first);
        hub->Command1_Click();
        ChooseFile(hub, second);
        hub->Command2_Click();

        auto* compare = Child<QPushButton>(hub, "Command5");
        QVERIFY(compare->isEnabled());
        compare->click();
        QTRY_COMPARE(OpenWindows<S2_Comparison>(main).size(), 1);
        S2_Comparison* comparison = OpenWindows<S2_Comparison>(main).front();
        QTRY_COMPARE(Child<QLabel>(comparison, "Label7")->text(), QStringLiteral("Complete"));
        QCOMPARE(comparison->windowTitle(), first + " [vs] " + second);
        // One red sample changed by one bit: picture 0 (red LSB) counts it.
        QCOMPARE(Child<QLabel>(comparison, "L1_0")->text(), QStringLiteral("1-0%"));

        comparison->P1_Click(0);
        QTRY_COMPARE(OpenWindows<S3_FullSize>(main).size(), 1);
        S3_FullSize* viewer = OpenWindows<S3_FullSize>(main).front();
        QVERIFY(viewer->FIBMP != nullptr);
        QCOMPARE(viewer->FIBMP->width(), 64);

        // The hub first, then the comparison, and the viewer last: each holds what it was given.
        hub->closeWindow();
        QTest::qWait(20);
        comparison->closeWindow();
        QTest::qWait(20);
        QCOMPARE(OpenWindows<S3_FullSize>(main).size(), 1);
        viewer->closeWindow();
        QTRY_VERIFY(main.mdiArea()->subWindowList().isEmpty());
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::WorkflowTest)
#include "WorkflowTest.moc"

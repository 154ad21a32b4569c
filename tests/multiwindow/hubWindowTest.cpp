#include "WindowTest.h"
#include "fileinfo/FileInfo.h"
#include "multiwindow/S0_Images.h"
#include "multiwindow/S1_Analysis.h"
#include "multiwindow/S2_Comparison.h"
#include "multiwindow/S4_Direction.h"
#include "viewer/S3_FullSize.h"

#include <QAction>

#include <memory>

namespace vantrel {

using namespace testing;

class HubWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<MDIForm1> main_;
    QPointer<S0_Images> hub_;

    QString file(const QString& name) const { return folder_->filePath(name); }

    void write(const QString& name, int width, int height, const std::string& comment = {}) {
        QVERIFY(WritePlaceImage(file(name), width, height, comment));
    }

    template <typename T = QPushButton> T* control(const char* name) const {
        return Child<T>(hub_, name);
    }

    // The names of the enabled buttons among Command1 to Command8.
    QString enabled() const {
        QString names;
        for (int i = 1; i <= 8; ++i) {
            names += control(qPrintable(QStringLiteral("Command%1").arg(i)))->isEnabled()
                         ? QString::number(i)
                         : QString();
        }
        return names;
    }

    // Browse in a slot with the dialog answering `path` (a null QString cancels).
    void browse(const char* button, const QString& path) {
        ChooseFile(hub_, path);
        QTest::mouseClick(control(button), Qt::LeftButton);
    }

    QString expectedBlock(const QString& path, const std::string& comment) const {
        FileInfoRecord record;
        GetFileInformation(PathBytes(path), record);
        return QString::fromStdString(FileInfoText(record, comment));
    }

    template <typename T> QList<T*> windowsOf() const { return OpenWindows<T>(*main_); }

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        write("a.png", 640, 480, "first");
        write("b.png", 640, 480, "second");
        write("tall.png", 480, 640);
        main_ = std::make_unique<MDIForm1>();
        main_->show();
        QVERIFY(main_->findChild<QAction*>("MultiWindowAnalysis")->isEnabled());
        main_->MultiWindowAnalysis_Click();
        QCOMPARE(windowsOf<S0_Images>().size(), 1);
        hub_ = windowsOf<S0_Images>().front();
        QVERIFY(QTest::qWaitForWindowExposed(hub_));
    }

    void cleanup() {
        main_->mdiArea()->closeAllSubWindows();
        DeleteClosedWindows();
        main_.reset();
        folder_.reset();
    }

    void pairButtonsFollowTheSizes() {
        QCOMPARE(enabled(), QStringLiteral("1267"));
        browse("Command1", file("a.png"));
        QCOMPARE(enabled(), QStringLiteral("12367"));
        QCOMPARE(control<QLabel>("Label1")->text(), file("a.png"));
        QCOMPARE(control<PictureBox>("Picture3")->picture().size(), QSize(300, 225));

        browse("Command2", file("b.png"));
        QCOMPARE(enabled(), QStringLiteral("12345678"));

        browse("Command2", file("tall.png"));
        QCOMPARE(control<PictureBox>("Picture4")->picture().size(), QSize(225, 300));
        QCOMPARE(enabled(), QStringLiteral("123467"));

        browse("Command2", file("b.png"));
        QCOMPARE(enabled(), QStringLiteral("12345678"));

        // With one slot empty after a failed decode the pair buttons keep their state.
        browse("Command2", QStringLiteral(VANTREL_TEST_DATA "/text.png"));
        QVERIFY(!hub_->FIBMP2);
        QCOMPARE(enabled(), QStringLiteral("12345678"));
    }

    void informationBlocksEndInTheirOwnComments() {
        browse("Command1", file("a.png"));
        browse("Command2", file("b.png"));
        const QString block1 = expectedBlock(file("a.png"), "first");
        const QString block2 = expectedBlock(file("b.png"), "second");
        QVERIFY(block2.endsWith(QStringLiteral("\r\nComment: second")));
        QVERIFY(block2.startsWith(QStringLiteral("Filename: b.png\r\n")));
        QCOMPARE(control<QPlainTextEdit>("Text1")->toPlainText(),
                 QString(block1).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

        // Copy puts each block on the clipboard with its CR LF breaks.
        QTest::mouseClick(control("Command6"), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), block2);
        QTest::mouseClick(control("Command7"), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), block1);
    }

    void cancelledBrowseKeepsTheImage() {
        browse("Command1", file("a.png"));
        const Image* loaded = hub_->FIBMP1.get();
        const QString text = control<QPlainTextEdit>("Text1")->toPlainText();
        browse("Command1", QString());
        QCOMPARE(hub_->FIBMP1.get(), loaded);
        QCOMPARE(hub_->ImageFile1, file("a.png"));
        QCOMPARE(control<QPlainTextEdit>("Text1")->toPlainText(), text);
        QCOMPARE(control<QLabel>("Label1")->text(), file("a.png"));

        // A viewer opened now still shows the image.
        QTest::mouseClick(control<PictureBox>("Picture3"), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(windowsOf<S3_FullSize>().size(), 1);
        S3_FullSize* viewer = windowsOf<S3_FullSize>().front();
        QVERIFY(viewer->FIBMP);
        QCOMPARE(viewer->windowTitle(), file("a.png"));
        QCOMPARE(viewer->findChild<PictureBox*>("P1")->point(10, 20), MakeRgb(10, 20, 7));
    }

    void failedDecodeIsReportedAndStillDescribed() {
        const QString path = QStringLiteral(VANTREL_TEST_DATA "/text.png");
        browse("Command1", path);
        QVERIFY(!hub_->FIBMP1);
        QVERIFY(control("Command3")->isEnabled());
        QVERIFY(hub_->lastStatus().contains(QStringLiteral("text.png")));
        QVERIFY(!control<PictureBox>("Picture3")->hasPicture());
        const QString text = control<QPlainTextEdit>("Text1")->toPlainText();
        QVERIFY(text.startsWith(QStringLiteral("Filename: text.png\n")));
        QVERIFY(text.endsWith(QStringLiteral("\nComment: ")));
        QVERIFY(!text.contains(QStringLiteral("FileAttributes: -1")));
    }

    void viewersOutliveTheHub() {
        browse("Command1", file("a.png"));
        auto* thumbnail = control<PictureBox>("Picture3");
        QTest::mouseClick(thumbnail, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseClick(thumbnail, Qt::LeftButton, {}, QPoint(40, 40));
        const QList<S3_FullSize*> viewers = windowsOf<S3_FullSize>();
        QCOMPARE(viewers.size(), 2);
        QVERIFY(viewers[0]->FIBMP && viewers[1]->FIBMP);
        // Both viewers hold the hub's image itself, which outlives the hub.
        QCOMPARE(viewers[0]->FIBMP, hub_->FIBMP1);
        QCOMPARE(viewers[1]->FIBMP, hub_->FIBMP1);

        hub_->closeWindow();
        DeleteClosedWindows();
        QVERIFY(hub_.isNull());
        for (S3_FullSize* viewer : viewers) {
            auto* picture = viewer->findChild<PictureBox*>("P1");
            QVERIFY(QTest::qWaitForWindowExposed(viewer));
            QTest::mouseMove(picture, QPoint(5, 6));
            QCOMPARE(viewer->findChild<QLabel*>("Label2")->text(),
                     QStringLiteral("[X:0005 Y:0006] - R:005 G:006 B:007 A:000"));
        }
        QPointer<S3_FullSize> first = viewers[0];
        first->closeWindow();
        DeleteClosedWindows();
        QVERIFY(first.isNull());
        QCOMPARE(windowsOf<S3_FullSize>().size(), 1);
    }

    void analysisWindowsReceiveCopies() {
        write("p.png", 8, 6);
        write("q.png", 8, 6);
        browse("Command1", file("p.png"));
        browse("Command2", file("q.png"));

        QTest::mouseClick(control("Command5"), Qt::LeftButton);
        QTest::mouseClick(control("Command8"), Qt::LeftButton);
        QTest::mouseClick(control("Command4"), Qt::LeftButton);
        QCOMPARE(windowsOf<S2_Comparison>().size(), 1);
        QCOMPARE(windowsOf<S4_Direction>().size(), 1);
        QCOMPARE(windowsOf<S1_Analysis>().size(), 1);
        S2_Comparison* comparison = windowsOf<S2_Comparison>().front();
        S4_Direction* direction = windowsOf<S4_Direction>().front();
        S1_Analysis* analysis = windowsOf<S1_Analysis>().front();
        const QString pairCaption = file("p.png") + QStringLiteral(" [vs] ") + file("q.png");
        QCOMPARE(comparison->windowTitle(), pairCaption);
        QCOMPARE(direction->windowTitle(), pairCaption);
        QVERIFY(analysis->windowTitle().endsWith(QStringLiteral(" ") + file("q.png")));
        QVERIFY(comparison->FIBMP1 && comparison->FIBMP2 && direction->FIBMP1 &&
                direction->FIBMP2 && analysis->FIBMP1);
        // The windows share the hub's images, which nobody changes.
        QCOMPARE(comparison->FIBMP1, hub_->FIBMP1);
        QCOMPARE(comparison->FIBMP2, hub_->FIBMP2);
        QCOMPARE(analysis->FIBMP1, hub_->FIBMP2);

        // Closing the hub first leaves every window its image.
        hub_->closeWindow();
        DeleteClosedWindows();
        QCOMPARE(comparison->FIBMP2->width(), 8);
        QCOMPARE(analysis->FIBMP1->height(), 6);
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::HubWindowTest)
#include "hubWindowTest.moc"

#include "WindowTest.h"
#include "app/Form3.h"
#include "blind/BlindAnalysis.h"
#include "image/Image.h"
#include "jpeg/JpegAnalysisWindow.h"
#include "onewindow/Form4.h"
#include "viewer/S3_FullSize.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>

namespace vantrel {

using namespace testing;

namespace {

QString DataPath(const char* name) {
    return QString::fromStdString(testing::Data(name));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir temp_;

    // Pixel (x, y) is red x, green y, blue x + y, each mod 256.
    QString writeImage(const QString& name, int width, int height) {
        return WriteImage(temp_, name, width, height,
                          [](int x, int y) { return MakeRgb(x % 256, y % 256, (x + y) % 256); });
    }

    // Smaller than the window's own size, and than the area most windows need.
    static void ShowSmall(MDIForm1& main) {
        main.setWindowState(Qt::WindowNoState);
        main.resize(1000, 700);
        main.show();
    }

private slots:
    void twoAnalysisWindowsAreIndependent() {
        MDIForm1 main;
        main.OneWindowAnalysis_Click();
        main.OneWindowAnalysis_Click();
        const QList<Form4*> forms = OpenWindows<Form4>(main);
        QCOMPARE(forms.size(), 2);
        QCOMPARE(forms[0]->PixelOption, 4);
        QVERIFY(Child<QRadioButton>(forms[0], "Option1_4")->isChecked());

        ChooseFile(forms[0], writeImage("one.png", 40, 30));
        forms[0]->Command2_Click();
        Child<QRadioButton>(forms[0], "Option1_2")->click();
        QCOMPARE(forms[0]->PixelOption, 2);
        QCOMPARE(forms[1]->PixelOption, 4);
        QVERIFY(forms[1]->CurrentFile.isEmpty());
        QCOMPARE(Child<PictureBox>(forms[1], "Picture1")->surfaceWidth(), 300);
        QCOMPARE(Child<PictureBox>(forms[0], "Picture1")->surfaceWidth(), 40);
    }

    void helpAndAboutAreOneSharedWindowEach() {
        MDIForm1 main;
        main.Help_Click();
        main.Help_Click();
        QCOMPARE(main.mdiArea()->subWindowList().size(), 1);
        main.About_Click();
        main.About_Click();
        QCOMPARE(main.findChildren<Form3*>().size(), 1);
        Form3* about = main.findChild<Form3*>();
        QCOMPARE(about->subWindow()->windowTitle(), QStringLiteral("About"));
        Child<QPushButton>(about, "Command8")->click();
        QTRY_COMPARE(main.findChildren<Form3*>().size(), 0);
        main.About_Click();
        QCOMPARE(main.findChildren<Form3*>().size(), 1);
    }

    void windowMenuListsTheChildWindowsThenArrangesThem() {
        MDIForm1 main;
        ShowSmall(main);
        main.OneWindowAnalysis_Click();
        main.About_Click();
        QMenu* menu = Child<QMenu>(&main, "Window");
        emit menu->aboutToShow();
        QStringList titles;
        for (QAction* action : menu->actions()) {
            titles << action->text();
        }
        QCOMPARE(titles.size(), 5);
        QVERIFY(titles.indexOf(QStringLiteral("About")) < 2);
        QCOMPARE(titles.mid(2),
                 (QStringList{QString(), QStringLiteral("Cascade"), QStringLiteral("Tile")}));
        Child<QAction>(menu, "Tile")->trigger();
        const QList<QMdiSubWindow*> frames = main.mdiArea()->subWindowList();
        QVERIFY(!frames[0]->geometry().intersects(frames[1]->geometry()));
    }

    // The screen of the offscreen platform (800 x 800) is smaller than the window's own size.
    void mainWindowStaysOnTheScreen() {
        MDIForm1 main;
        main.show();
        QVERIFY(main.isMaximized());
        // The plugin draws its simulated frame outside a maximised window: the size is what
        // can be held to the screen.
        const QSize available = main.screen()->availableGeometry().size();
        QVERIFY(main.width() <= available.width() && main.height() <= available.height());
    }

    // Every window, three of a kind, opens inside the visible area of a small main window; a
    // window larger than the area opens at its top-left, with scroll bars to reach the rest.
    void childWindowsOpenInSight_data() {
        QTest::addColumn<QString>("item");
        MDIForm1 main;
        for (QAction* action : Child<QMenu>(&main, "NewAnalysis")->actions()) {
            QTest::newRow(qPrintable(action->text())) << action->objectName();
        }
        QTest::newRow("viewer of a large image") << QString();
    }
    void childWindowsOpenInSight() {
        QFETCH(QString, item);
        MDIForm1 main;
        ShowSmall(main);
        for (int copy = 0; copy < 3; ++copy) {
            if (item.isEmpty()) {
                auto* about = main.findChild<Form3*>();
                if (about == nullptr) {
                    main.About_Click();
                    about = main.findChild<Form3*>();
                }
                OpenFullSizeViewer(about, ShareImage(AllocateZeroedBitmap(1200, 300, 24)),
                                   QStringLiteral("large"));
            } else {
                Child<QAction>(Child<QMenu>(&main, "NewAnalysis"), item)->trigger();
            }
        }
        QCoreApplication::processEvents();
        QMdiArea* area = main.mdiArea();
        const QRect visible = area->viewport()->rect();
        for (QMdiSubWindow* frame : area->subWindowList()) {
            const QRect at = frame->geometry();
            if (at.width() <= visible.width() && at.height() <= visible.height()) {
                QVERIFY2(visible.contains(at), qPrintable(frame->windowTitle()));
            } else {
                QCOMPARE(at.topLeft(), QPoint(0, 0));
                QVERIFY(area->horizontalScrollBar()->maximum() > 0 ||
                        area->verticalScrollBar()->maximum() > 0);
            }
        }
    }

    void cascadeStartsOverBeforeAnEdge_data() {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<int>("index");
        QTest::addColumn<QPoint>("expected");
        // In an area of 500 x 400 with steps of 30.
        QTest::newRow("first") << QSize(300, 200) << 0 << QPoint(0, 0);
        QTest::newRow("third") << QSize(300, 200) << 2 << QPoint(60, 60);
        QTest::newRow("last that fits") << QSize(300, 200) << 6 << QPoint(180, 180);
        QTest::newRow("over again") << QSize(300, 200) << 7 << QPoint(0, 0);
        QTest::newRow("exactly the area") << QSize(500, 400) << 3 << QPoint(0, 0);
        QTest::newRow("too wide") << QSize(501, 100) << 2 << QPoint(0, 0);
        QTest::newRow("too high") << QSize(100, 401) << 2 << QPoint(0, 0);
    }
    void cascadeStartsOverBeforeAnEdge() {
        QFETCH(QSize, window);
        QFETCH(int, index);
        QFETCH(QPoint, expected);
        QCOMPARE(CascadePosition(QSize(500, 400), window, index, 30), expected);
    }

    // The analysis windows' dialog opens where the last file was chosen, in any of them, and
    // offers the window's own format first.
    void analysisDialogsStartInTheLastFolder() {
        MDIForm1 main;
        QStringList folders;
        QStringList firstFilters;
        main.setFileChooser([&](QWidget*, const OpenFileRequest& request) {
            folders << request.folder;
            firstFilters << request.filters.front();
            return std::optional<QString>(DataPath("cases/stego.png"));
        });
        main.BlindAnalysis_Click();
        main.JpegAnalysis_Click();
        Child<QPushButton>(OpenWindows<BlindAnalysis>(main).front(), "Browse")->click();
        Child<QPushButton>(OpenWindows<JpegAnalysisWindow>(main).front(), "Browse")->click();
        QCOMPARE(folders, (QStringList{QDir::currentPath(), DataPath("cases")}));
        QVERIFY(firstFilters[0].startsWith(QStringLiteral("All images (")));
        QVERIFY(firstFilters[1].startsWith(QStringLiteral("JPEG (*.jpg *.JPG")));
        QCOMPARE(OpenWindows<JpegAnalysisWindow>(main).front()->windowTitle(),
                 QStringLiteral("JPEG Analysis: stego.png \u2014 ") + DataPath("cases"));
    }

    // A file that is not an image fails alike in every analysis window: a red line in the window
    // and the status bar.
    void failuresShowRedInTheWindowAndInTheStatusBar_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("line");
        QTest::newRow("blind") << "BlindAnalysis"
                               << "Summary";
        QTest::newRow("extraction") << "BitExtraction"
                                    << "FileLabel";
        QTest::newRow("jpeg") << "JpegAnalysis"
                              << "Summary";
        QTest::newRow("steghide") << "Steghide"
                                  << "FileLabel";
    }
    void failuresShowRedInTheWindowAndInTheStatusBar() {
        QFETCH(QString, item);
        QFETCH(QString, line);
        MDIForm1 main;
        main.setFileChooser([](QWidget*, const OpenFileRequest&) {
            return std::optional<QString>(DataPath("text.png"));
        });
        Child<QAction>(Child<QMenu>(&main, "NewAnalysis"), item)->trigger();
        auto* window = qobject_cast<ChildWindow*>(main.mdiArea()->subWindowList().back()->widget());
        Child<QPushButton>(window, "Browse")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!main.statusBar()->currentMessage().isEmpty(), 30000);
        auto* label = Child<QLabel>(window, line);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(200, 40, 40));
        QCOMPARE(label->toolTip(), main.statusBar()->currentMessage());
        QVERIFY(label->toolTip().contains(DataPath("text.png")));
    }

    void browseShowsPictureAndThumbnail() {
        Form4 form;
        const QString path = writeImage(QStringLiteral("b.png"), 480, 640);
        ChooseFile(&form, path);
        form.Command2_Click();
        QCOMPARE(form.CurrentFile, path);
        QCOMPARE(Child<QLabel>(&form, "Label3")->text(), path);
        auto* picture1 = Child<PictureBox>(&form, "Picture1");
        QCOMPARE(QSize(picture1->surfaceWidth(), picture1->surfaceHeight()), QSize(480, 640));
        // The full-size picture holds the file's colours exactly.
        QCOMPARE(picture1->point(300, 200), MakeRgb(300 % 256, 200, 500 % 256));
        auto* view = Child<PictureBox>(&form, "Picture2");
        QCOMPARE(QSize(view->surfaceWidth(), view->surfaceHeight()), QSize(480, 640));
        QCOMPARE(Child<PictureBox>(&form, "Picture5")->picture().size(), QSize(225, 300));
    }

    void originalBrowseFillsTheLowerPictures() {
        Form4 form;
        auto* label22 = Child<QLabel>(&form, "Label22");
        label22->setText(QStringLiteral("old"));
        const QString path = writeImage(QStringLiteral("o.png"), 64, 48);
        ChooseFile(&form, path);
        form.Command6_Click();
        QCOMPARE(form.CurrentFile, path);
        QCOMPARE(Child<QLabel>(&form, "Label33")->text(), path);
        QCOMPARE(Child<PictureBox>(&form, "Picture4")->surfaceWidth(), 64);
        QCOMPARE(Child<PictureBox>(&form, "Picture6")->picture().size(), QSize(300, 225));
        QVERIFY(label22->text().isEmpty());
        QCOMPARE(Child<PictureBox>(&form, "Picture2")->surfaceWidth(), 300); // untouched
    }

    void cancelledBrowseChangesNothing() {
        Form4 form;
        const QString path = writeImage(QStringLiteral("c.png"), 20, 10);
        ChooseFile(&form, path);
        form.Command2_Click();
        ChooseFile(&form, QString());
        form.Command2_Click();
        QCOMPARE(form.CurrentFile, path);
        QCOMPARE(Child<PictureBox>(&form, "Picture1")->surfaceWidth(), 20);
    }

    void undecodableFileShowsPathAndReportsInStatusBar() {
        MDIForm1 main;
        main.OneWindowAnalysis_Click();
        Form4* form = OpenWindows<Form4>(main).front();
        const QString path = DataPath("text.png");
        ChooseFile(form, path);
        form->Command2_Click();
        QCOMPARE(form->CurrentFile, path);
        QCOMPARE(Child<QLabel>(form, "Label3")->text(), path);
        QCOMPARE(Child<PictureBox>(form, "Picture1")->surfaceWidth(), 0);
        QCOMPARE(Child<PictureBox>(form, "Picture2")->surfaceHeight(), 0);
        QVERIFY(!Child<PictureBox>(form, "Picture5")->hasPicture());
        const QString status = main.statusBar()->currentMessage();
        QVERIFY2(status.contains(path), qPrintable(status));
        QVERIFY(!status.contains('\n'));
    }

    void copyPutsTheViewOnTheClipboard() {
        Form4 form;
        ChooseFile(&form, writeImage(QStringLiteral("d.png"), 30, 20));
        form.Command2_Click();
        auto* view = Child<PictureBox>(&form, "Picture2");
        view->setPoint(3, 4, MakeRgb(10, 20, 30));
        Child<QPushButton>(&form, "Command3")->click();
        const QImage copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.size(), QSize(30, 20));
        QCOMPARE(QColor(copied.pixel(3, 4)), QColor(10, 20, 30));
        QCOMPARE(QColor(copied.pixel(0, 0)), QColor(64, 64, 64));
    }

    // Paths are shown as they are, never read as markup, and no glyph of them is cut off.
    void labelsShowPathsAsPlainText() {
        Form4 form;
        const QString path = writeImage(QStringLiteral("a<b>_&lt;.png"), 4, 3);
        ChooseFile(&form, path);
        form.Command6_Click();
        auto* label = Child<QLabel>(&form, "Label33");
        QCOMPARE(label->text(), path);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        const QFontMetrics metrics(label->font());
        QVERIFY(metrics.ascent() + metrics.descent() <= label->height());
    }

    // Under "All Files" the dialog lists names without a dot, which content detection loads.
    void allFilesListsNamesWithoutADot() {
        QFile::copy(DataPath("pattern.png"), temp_.filePath(QStringLiteral("nodot")));
        std::unique_ptr<QFileDialog> dialog = MakeImageFileDialog(nullptr);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setDirectory(temp_.path());
        // What a user's choice in the list emits.
        auto* filters = Child<QComboBox>(dialog.get(), "fileTypeCombo");
        filters->setCurrentIndex(3);
        emit filters->activated(3);
        emit filters->textActivated(filters->itemText(3));
        auto* model = dialog->findChild<QFileSystemModel*>();
        QTRY_VERIFY(model->index(temp_.filePath(QStringLiteral("nodot"))).isValid());
        const QModelIndex entry = model->index(temp_.filePath(QStringLiteral("nodot")));
        QVERIFY(model->flags(entry) & Qt::ItemIsEnabled);
        QCOMPARE(model->nameFilters(), QStringList{QStringLiteral("*")});
    }

    // vantrel A B C: a window for A with its original B, and one for C; a missing file gives
    // the line a failed Browse gives, and its window still opens.
    void filesNamedOnTheCommandLineOpenOneWindowAnalyses() {
        MDIForm1 main;
        const QString a = writeImage(QStringLiteral("a.png"), 10, 8);
        const QString b = writeImage(QStringLiteral("b.png"), 10, 8);
        const QString missing = temp_.filePath(QStringLiteral("missing.png"));
        main.openFiles({a, b, missing});
        const QList<Form4*> forms = OpenWindows<Form4>(main);
        QCOMPARE(forms.size(), 2);
        QCOMPARE(Child<QLabel>(forms[0], "Label3")->text(), a);
        QCOMPARE(Child<QLabel>(forms[0], "Label33")->text(), b);
        QCOMPARE(Child<PictureBox>(forms[0], "Picture4")->surfaceWidth(), 10);
        QCOMPARE(Child<QLabel>(forms[1], "Label3")->text(), missing);
        QVERIFY(main.statusBar()->currentMessage().contains(missing));
    }

    // A local file dropped on a picture loads as Browse would; other drops do nothing.
    void droppedFilesLoadIntoTheirSlot() {
        Form4 form;
        const QString path = writeImage(QStringLiteral("dropped.png"), 12, 9);
        const auto drop = [](QWidget* target, const QUrl& url) {
            QMimeData data;
            data.setUrls({url});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &enter);
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &dropped);
            return enter.isAccepted();
        };
        QVERIFY(!drop(Child<PictureBox>(&form, "Picture6"), QUrl("https://example.org/a.png")));
        QVERIFY(Child<QLabel>(&form, "Label33")->text().isEmpty());
        QVERIFY(drop(Child<PictureBox>(&form, "Picture6"), QUrl::fromLocalFile(path)));
        QCOMPARE(Child<QLabel>(&form, "Label33")->text(), path);
        QCOMPARE(Child<PictureBox>(&form, "Picture4")->surfaceWidth(), 12);
        QVERIFY(drop(Child<PictureBox>(&form, "Picture5"), QUrl::fromLocalFile(path)));
        QCOMPARE(Child<QLabel>(&form, "Label3")->text(), path);
    }

    void windowHasTheFixedSize() {
        MDIForm1 main;
        QCOMPARE(main.OneWindowAnalysis_Click()->subWindow()->size(), QSize(1350, 916));
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::MainWindowTest)
#include "MainWindowTest.moc"

// The bit-plane, comparison and direction windows driven as a user would: runs, thumbnails,
// count labels, viewers opened from thumbnails, Copy, and closing in the middle of a run.
#include "WindowTest.h"
#include "multiwindow/S1_Analysis.h"
#include "multiwindow/S2_Comparison.h"
#include "multiwindow/S4_Direction.h"
#include "viewer/S3_FullSize.h"

#include <vector>

namespace vantrel {

using testing::Child;

namespace {

// A 32-bit opaque image of one colour.
BitmapHandle Filled(int width, int height, int red, int green, int blue) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, 32));
    const RGBQUAD colour{BYTE(blue), BYTE(green), BYTE(red), 255};
    FreeImage_FillBackground(bitmap.get(), &colour, 0);
    return bitmap;
}

// Sets the red of pixel (x, y), counted from the top.
void SetRed(FIBITMAP* bitmap, int x, int y, int red) {
    MutableViewOfBitmap(bitmap).row(y)[4 * x + kRed] = static_cast<std::uint8_t>(red);
}

QColor BackgroundOf(QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

} // namespace

class GridWindowTest : public QObject {
    Q_OBJECT

private:
    QMdiArea* area = nullptr;
    std::vector<QPointer<ChildWindow>> opened;

    // Shows a window in the area; it and every window opened from it are recorded.
    void host(ChildWindow* window) {
        AddToMdiArea(area, window);
        record(window);
    }

    void record(ChildWindow* window) {
        opened.emplace_back(window);
        connect(window, &ChildWindow::childOpened, this, &GridWindowTest::record);
    }

    template <typename Window> Window* open() {
        auto* window = new Window;
        host(window);
        return window;
    }

    template <typename Window> Window* comparison(BitmapHandle first, BitmapHandle second) {
        auto* window = open<Window>();
        window->FIBMP1 = ShareImage(std::move(first));
        window->FIBMP2 = ShareImage(std::move(second));
        window->setWindowTitle(QStringLiteral("a.png [vs] b.png"));
        return window;
    }

    std::vector<S3_FullSize*> viewers() const {
        std::vector<S3_FullSize*> found;
        for (const QPointer<ChildWindow>& window : opened) {
            if (auto* viewer = qobject_cast<S3_FullSize*>(window.data())) {
                found.push_back(viewer);
            }
        }
        return found;
    }

private slots:
    void init() {
        area = new QMdiArea;
        area->resize(1500, 1000);
        area->show();
        opened.clear();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void cleanup() {
        delete area;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void runShowsThumbnailsInOrderAndCompletes() {
        auto* window = open<S1_Analysis>();
        window->FIBMP1 = ShareImage(Filled(480, 640, 0x81, 0x00, 0xFF));
        std::vector<int> shown;
        connect(window, &AnalysisGridWindow::pictureShown, this, [&](int index) {
            // Each picture appears alone: the ones after it in the order are still empty.
            for (std::size_t later = shown.size() + 1; later < PictureOrder().size(); ++later) {
                const QString name = QStringLiteral("P1_%1").arg(PictureOrder()[later]);
                QVERIFY(!Child<PictureBox>(window, name)->hasPicture());
            }
            shown.push_back(index);
        });
        window->StartAnalysis();
        QCOMPARE(shown, std::vector<int>(PictureOrder().begin(), PictureOrder().end()));
        for (int index = 0; index < kPictureCount; ++index) {
            QCOMPARE(
                Child<PictureBox>(window, QStringLiteral("P1_%1").arg(index))->picture().size(),
                QSize(75, 100));
        }
        // Box 0 (red bit 0 lit): the thumbnail shows the lit colour.
        QCOMPARE(Child<PictureBox>(window, "P1_0")->point(5, 5), MakeRgb(255, 100, 100));
        QCOMPARE(Child<PictureBox>(window, "P1_1")->point(5, 5), MakeRgb(0, 0, 0));
        QLabel* status = Child<QLabel>(window, "Label7");
        QCOMPARE(status->text(), QStringLiteral("Complete"));
        QCOMPARE(BackgroundOf(status), QColor(192, 255, 192));
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        QVERIFY(!window->isRunning());
        // A close after the run releases the pictures and the image.
        QVERIFY(!window->analysisBitmaps().empty());
        window->closeWindow();
        QVERIFY(window->analysisBitmaps().empty());
        QVERIFY(!window->FIBMP1);
    }

    void nullImageGivesEmptyBoxesAndDashes() {
        auto* window = comparison<S4_Direction>(nullptr, nullptr);
        window->StartComparison();
        for (int index = 0; index < kPictureCount; ++index) {
            QVERIFY(!Child<PictureBox>(window, QStringLiteral("P1_%1").arg(index))->hasPicture());
            QLabel* count = Child<QLabel>(window, QStringLiteral("L1_%1").arg(index));
            QCOMPARE(count->text(), QStringLiteral("-"));
            QCOMPARE(BackgroundOf(count), QColor(192, 255, 192));
        }
        QCOMPARE(Child<QLabel>(window, "Label7")->text(), QStringLiteral("Complete"));
    }

    // Labels placed in pixels keep the largest font that fits their height (not the smallest
    // one, fitted before the label had a size).
    void labelFontsFitTheirHeight() {
        auto* window = comparison<S4_Direction>(nullptr, nullptr);
        for (const char* name : {"Label5", "Label7", "Label6_8"}) {
            auto* label = Child<QLabel>(window, name);
            const auto fits = [label](double points) {
                QFont font = label->font();
                font.setPointSizeF(points);
                return QFontMetrics(font).ascent() + QFontMetrics(font).descent() <=
                       label->height();
            };
            QVERIFY2(fits(label->font().pointSizeF()), name);
            QVERIFY2(label->font().pointSizeF() == ConsolasFont().pointSizeF() ||
                         !fits(label->font().pointSizeF() + 0.25),
                     name);
        }
    }

    void countLabelsOfOneChangedPixel() {
        for (const bool direction : {false, true}) {
            BitmapHandle first = Filled(10, 10, 0x80, 0, 0);
            BitmapHandle second = Filled(10, 10, 0x80, 0, 0);
            SetRed(second.get(), 4, 4, 0x81);
            ImagePairGridWindow* window =
                direction ? static_cast<ImagePairGridWindow*>(
                                comparison<S4_Direction>(std::move(first), std::move(second)))
                          : comparison<S2_Comparison>(std::move(first), std::move(second));
            window->StartComparison();
            for (int index = 0; index < kPictureCount; ++index) {
                QLabel* count = Child<QLabel>(window, QStringLiteral("L1_%1").arg(index));
                const bool changed = index == 0 || index == 32 || index == 40 || index == 44;
                const QString expected = !changed                       ? QStringLiteral("-")
                                         : (index == 32 || index == 44) ? QStringLiteral("1-0%")
                                                                        : QStringLiteral("1-1%");
                QCOMPARE(count->text(), expected);
                QCOMPARE(BackgroundOf(count),
                         changed ? QColor(255, 150, 150) : QColor(192, 255, 192));
            }
        }
    }

    void countLabelUsesTheLocaleSeparator_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("label");
        QTest::newRow("comma") << QLocale(QLocale::English, QLocale::UnitedStates)
                               << QStringLiteral("1,234-12%");
        QTest::newRow("dot") << QLocale(QLocale::German, QLocale::Germany)
                             << QStringLiteral("1.234-12%");
    }

    void countLabelUsesTheLocaleSeparator() {
        QFETCH(QLocale, locale);
        QFETCH(QString, label);
        QLocale::setDefault(locale);
        BitmapHandle first = Filled(100, 100, 0, 0, 0);
        BitmapHandle second = Filled(100, 100, 0, 0, 0);
        for (int i = 0; i < 1234; ++i) {
            SetRed(second.get(), i % 100, i / 100, 1);
        }
        auto* window = comparison<S2_Comparison>(std::move(first), std::move(second));
        window->StartComparison();
        QCOMPARE(Child<QLabel>(window, "L1_40")->text(), label);
        QCOMPARE(Child<QLabel>(window, "L1_0")->text(), label);
    }

    void thumbnailClickOpensAViewerWithItsCaption() {
        auto* planes = open<S1_Analysis>();
        planes->FIBMP1 = ShareImage(Filled(6, 4, 0x81, 0x10, 0xFF));
        planes->setWindowTitle(planes->windowTitle() + QStringLiteral(" c:/a.png"));
        planes->StartAnalysis();
        QTest::mouseClick(Child<PictureBox>(planes, "P1_12"), Qt::LeftButton);
        QTest::mouseClick(Child<PictureBox>(planes, "P1_40"), Qt::LeftButton);

        auto* compared = comparison<S2_Comparison>(Filled(6, 4, 1, 2, 3), Filled(6, 4, 1, 2, 3));
        compared->StartComparison();
        QTest::mouseClick(Child<PictureBox>(compared, "P1_40"), Qt::LeftButton);
        QTest::mouseClick(Child<PictureBox>(compared, "P1_5"), Qt::LeftButton);

        const std::vector<S3_FullSize*> opened = viewers();
        QCOMPARE(opened.size(), std::size_t(4));
        QCOMPARE(opened[0]->windowTitle(), QStringLiteral("Image Analysis:  c:/a.png - Bit: 12"));
        QCOMPARE(opened[1]->windowTitle(), QStringLiteral("Image Analysis:  c:/a.png - Bit: 40"));
        QCOMPARE(opened[2]->windowTitle(), QStringLiteral("a.png [vs] b.png"));
        QCOMPARE(opened[3]->windowTitle(), QStringLiteral("a.png [vs] b.png - Bit: 5"));
        // The viewer holds a 32-bit copy of the picture: green bit 4 of 0x10 is lit.
        const FIBITMAP* green4 = opened[0]->FIBMP->bitmap();
        QCOMPARE(BitmapBitsPerPixel(green4), 32);
        QCOMPARE(BitmapWidth(green4), 6);
        const std::uint8_t* pixel = ViewOfBitmap(green4).row(2) + 4 * 3;
        QCOMPARE(int(pixel[kRed]), 100);
        QCOMPARE(int(pixel[kGreen]), 255);
        QCOMPARE(int(pixel[kAlpha]), 0);
        QCOMPARE(int(ViewOfBitmap(opened[1]->FIBMP->bitmap()).row(0)[kRed]), 0x81);
    }

    void copyCapturesTheWholeWindowWithoutCopyButtonAndStatus() {
        auto* window = open<S1_Analysis>();
        window->FIBMP1 = ShareImage(Filled(64, 48, 0, 0, 0));
        window->StartAnalysis();
        QApplication::clipboard()->setText(QStringLiteral("old text"));
        QPushButton* copy = Child<QPushButton>(window, "Command3");
        QLabel* status = Child<QLabel>(window, "Label7");
        QTest::mouseClick(copy, Qt::LeftButton);

        const QMimeData* data = QApplication::clipboard()->mimeData();
        QVERIFY(data->hasImage());
        QVERIFY(!data->hasText());
        const QImage picture = QApplication::clipboard()->image();
        QWidget* outer = window->outerWindow();
        QVERIFY(outer != window);
        QCOMPARE(picture.size(), outer->size());
        QVERIFY(picture.width() > window->width() && picture.height() > window->height());
        QVERIFY(copy->isVisible());
        QVERIFY(status->isVisible());
        // Where the button and the status label stand, the picture shows the window's grey.
        const QPoint client = window->mapTo(outer, QPoint(0, 0));
        for (QWidget* hidden : {static_cast<QWidget*>(copy), static_cast<QWidget*>(status)}) {
            const QRect area = hidden->geometry().translated(client).adjusted(2, 2, -2, -2);
            for (int y = area.top(); y <= area.bottom(); y += 3) {
                for (int x = area.left(); x <= area.right(); x += 3) {
                    QCOMPARE(QColor(picture.pixel(x, y)), QColor(192, 192, 192));
                }
            }
        }
        // The thumbnails are in it: box 44 of a black image shows black at its corner.
        const QPoint box = Child<PictureBox>(window, "P1_44")->pos() + client;
        QCOMPARE(QColor(picture.pixel(box + QPoint(3, 3))), QColor(0, 0, 0));
    }

    // A Copy clicked while the run yields is served there: the picture shows the thumbnails
    // done so far, and the run goes on.
    void copyDuringARunShowsThePicturesDoneSoFar() {
        auto* window = open<S1_Analysis>();
        window->FIBMP1 = ShareImage(Filled(50, 50, 255, 255, 255));
        connect(window, &AnalysisGridWindow::pictureShown, this, [&](int index) {
            if (index == 33) {
                QTimer::singleShot(0, window, [&] {
                    QTest::mouseClick(Child<QPushButton>(window, "Command3"), Qt::LeftButton);
                });
            }
        });
        window->StartAnalysis();
        QCOMPARE(Child<QLabel>(window, "Label7")->text(), QStringLiteral("Complete"));
        const QImage picture = QApplication::clipboard()->image();
        QCOMPARE(picture.size(), window->outerWindow()->size());
        const QPoint client = window->mapTo(window->outerWindow(), QPoint(0, 0));
        const auto boxColour = [&](const char* name) {
            return QColor(
                picture.pixel(Child<PictureBox>(window, name)->pos() + client + QPoint(10, 10)));
        };
        QCOMPARE(boxColour("P1_33"), QColor(255, 255, 255)); // done before the copy
        QCOMPARE(boxColour("P1_34"), QColor(31, 31, 31));    // not yet
        QCOMPARE(boxColour("P1_0"), QColor(31, 31, 31));
        QVERIFY(Child<PictureBox>(window, "P1_0")->hasPicture()); // the run went on
    }

    // A second start while a run is going on would pull its pictures away: it is refused with a
    // status line, and the first run completes.
    void startDuringARunIsRefused() {
        auto* window = comparison<S2_Comparison>(Filled(8, 8, 1, 1, 1), Filled(8, 8, 1, 1, 2));
        int shown = 0;
        connect(window, &AnalysisGridWindow::pictureShown, this, [&](int index) {
            ++shown;
            if (index == 41) {
                window->StartComparison();
            }
        });
        window->StartComparison();
        QCOMPARE(shown, kPictureCount);
        QVERIFY(window->lastStatus().contains(QStringLiteral("already running")));
        QCOMPARE(Child<QLabel>(window, "L1_42")->text(), QStringLiteral("64-100%"));
        // After the run, a new start recomputes everything.
        window->StartComparison();
        QCOMPARE(shown, 2 * kPictureCount);
        QCOMPARE(Child<QLabel>(window, "Label7")->text(), QStringLiteral("Complete"));
    }

    // A window closed while its run yields stops at that yield; nothing of it is used after.
    void closeDuringARunStopsAtTheYield_data() {
        QTest::addColumn<bool>("duringYield");
        QTest::newRow("close at the yield") << true;
        QTest::newRow("close while drawing") << false;
    }

    void closeDuringARunStopsAtTheYield() {
        QFETCH(bool, duringYield);
        QPointer<S2_Comparison> window =
            comparison<S2_Comparison>(Filled(40, 30, 1, 2, 3), Filled(40, 30, 3, 2, 1));
        std::vector<int> shown;
        connect(window, &AnalysisGridWindow::pictureShown, this, [&](int index) {
            shown.push_back(index);
            if (index == 33) {
                // A viewer opened before the close keeps its own copy.
                QTest::mouseClick(Child<PictureBox>(window, "P1_40"), Qt::LeftButton);
                if (duringYield) {
                    QTimer::singleShot(0, window, [&] { window->closeWindow(); });
                } else {
                    window->closeWindow();
                    QVERIFY(!window->analysisBitmaps().empty()); // still in use by the run
                }
            }
        });
        window->StartComparison();
        QCOMPARE(shown.size(), std::size_t(7)); // 40-44, 32, 33
        if (window) {
            QVERIFY(window->isClosing());
            QVERIFY(window->analysisBitmaps().empty());
            QVERIFY(!window->FIBMP1);
            QVERIFY(!window->FIBMP2);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        const std::vector<S3_FullSize*> opened = viewers();
        QCOMPARE(opened.size(), std::size_t(1));
        QCOMPARE(int(ViewOfBitmap(opened[0]->FIBMP->bitmap()).row(0)[kRed]), 255);
    }

    // The window that opened a run closes while that run yields: the run owns its copies and
    // goes on to the end.
    void openerClosingDuringARunLeavesItRunning() {
        auto* opener = new ChildWindow;
        auto* start = new QPushButton(QStringLiteral("Image Comparison"), opener);
        QPointer<S4_Direction> started;
        auto first = std::make_shared<BitmapHandle>(Filled(30, 20, 5, 6, 7));
        connect(start, &QPushButton::clicked, opener, [&, opener, first] {
            auto* window = open<S4_Direction>();
            started = window;
            window->FIBMP1 = ShareImage(CloneBitmap(first->get()));
            window->FIBMP2 = ShareImage(CloneBitmap(first->get()));
            connect(window, &AnalysisGridWindow::pictureShown, opener, [opener](int index) {
                if (index == 40) {
                    QTimer::singleShot(0, opener, [opener] { opener->closeWindow(); });
                }
            });
            window->StartComparison();
        });
        QPointer<ChildWindow> openerAlive(opener);
        host(opener);
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(started);
        QCOMPARE(Child<QLabel>(started, "Label7")->text(), QStringLiteral("Complete"));
        QCOMPARE(Child<QLabel>(started, "L1_0")->text(), QStringLiteral("-"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(openerAlive.isNull());
        QVERIFY(started);
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::GridWindowTest)
#include "gridWindowTest.moc"

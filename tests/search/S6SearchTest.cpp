#include "SearchFixtures.h"
#include "WindowTest.h"

#include "TestData.h"
#include "fileinfo/FileInfo.h"
#include "fileinfo/ImageComment.h"
#include "multiwindow/S2_Comparison.h"
#include "search/S6_Search.h"
#include "search/SearchLists.h"
#include "viewer/S3_FullSize.h"

#include <QSemaphore>

#include <filesystem>
#include <memory>
#include <new>
#include <thread>

namespace vantrel {

using testing::AnswerMessageBox;
using testing::Child;
using testing::ChooseFile;
using testing::Flip;
using testing::MakeBitmap;
using testing::Pattern;
using testing::SaveImage;
using testing::TempTree;

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 12;

void Save(const std::string& path, std::uint8_t flippedBits, int height = kHeight) {
    const auto colours = [&](int x, int y) { return Flip(Pattern(x, y, 1), flippedBits); };
    SaveImage(MakeBitmap(kWidth, height, 24, colours).get(), path);
}

QString Q(const std::string& path) {
    return QString::fromStdString(path);
}

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts << list->item(row)->text();
    }
    return texts;
}

} // namespace

class S6SearchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree;
    std::vector<ChildWindow*> opened;

    // ref.png and hits of 100 %, 0 % and 100 % in walk order, one image of another size.
    void makeTree() {
        tree = std::make_unique<TempTree>();
        tree->directory("A/A1");
        tree->directory("B");
        Save(tree->path("ref.png"), 0);
        Save(tree->path("copy.bmp"), 0);
        Save(tree->path("A/inverted.png"), 0x80);
        Save(tree->path("A/A1/low.png"), 0x7F);
        Save(tree->path("B/short.png"), 0, kHeight - 1);
    }

    // A window with the reference chosen and the tree as its directory.
    std::unique_ptr<S6_Search> readyWindow(const std::string& start) {
        auto window = std::make_unique<S6_Search>();
        const QString reference = Q(tree->path("ref.png"));
        ChooseFile(window.get(), reference);
        window->Command2_Click();
        connect(window.get(), &ChildWindow::childOpened, this,
                [this](ChildWindow* child) { opened.push_back(child); });
        Child<DirectoryList>(window.get(), "Dir1")->setPath(Q(start));
        return window;
    }

    void runSearch(S6_Search* window) {
        QSignalSpy finished(window, &S6_Search::searchFinished);
        Child<QPushButton>(window, "Command1")->click();
        QVERIFY(finished.wait(20000));
    }

private slots:
    void init() {
        makeTree();
        opened.clear();
    }

    void cleanup() {
        for (ChildWindow* window : opened) {
            delete window;
        }
        opened.clear();
        tree.reset();
    }

    void searchWithoutAReferenceSaysSo() {
        S6_Search window;
        QCOMPARE(AnswerMessageBox([&] { Child<QPushButton>(&window, "Command1")->click(); }),
                 QStringLiteral("No image selected.|%1|%2")
                     .arg(QMessageBox::Information)
                     .arg(QMessageBox::Ok));
        QCOMPARE(Child<QListWidget>(&window, "List1")->count(), 0);
        QCOMPARE(Child<QLabel>(&window, "Label6")->text(), QString());
        QVERIFY(!window.isSearching());
    }

    void thresholdBarSetsPercentAndLabel() {
        S6_Search window;
        QCOMPARE(window.MatchPercent, 85);
        QCOMPARE(Child<QLabel>(&window, "Label1")->text(), QStringLiteral("85%"));
        Child<QScrollBar>(&window, "HScroll1")->setValue(7);
        QCOMPARE(window.MatchPercent, 7);
        QCOMPARE(Child<QLabel>(&window, "Label1")->text(), QStringLiteral("7%"));
    }

    void browseShowsTheReference() {
        const auto window = readyWindow(tree->path());
        QCOMPARE(Child<QLineEdit>(window.get(), "Text3")->text(), Q(tree->path("ref.png")));
        QCOMPARE(Child<QLabel>(window.get(), "Label5")->text(), QStringLiteral("16 X 12 Pixels"));
        QCOMPARE(Child<PictureBox>(window.get(), "Picture5")->picture().size(), QSize(300, 225));
        QCOMPARE(window->RefImage->width(), kWidth);

        tree->write("broken.png", "no image");
        ChooseFile(window.get(), Q(tree->path("broken.png")));
        window->Command2_Click();
        QCOMPARE(Child<QLabel>(window.get(), "Label5")->text(), QStringLiteral("0 X 0 Pixels"));
        QVERIFY(!Child<PictureBox>(window.get(), "Picture5")->hasPicture());
        QVERIFY(window->lastStatus().contains(QStringLiteral("broken.png")));
    }

    void searchListsHitsInWalkOrder() {
        const auto window = readyWindow(tree->path());
        auto* search = Child<QPushButton>(window.get(), "Command1");
        auto* browse = Child<QPushButton>(window.get(), "Command2");
        auto* stop = Child<QPushButton>(window.get(), "Command5");
        auto* count = Child<QLabel>(window.get(), "Label6");
        QVERIFY(!stop->isEnabled());
        QSignalSpy finished(window.get(), &S6_Search::searchFinished);
        search->click();
        // Until the walk reports its end through the event loop, the window is walking.
        QVERIFY(!search->isEnabled());
        QVERIFY(!browse->isEnabled());
        QVERIFY(stop->isEnabled());
        QCOMPARE(count->palette().color(QPalette::Window), QColor(255, 0, 0));
        QCOMPARE(count->text(), QStringLiteral("Search Count: 0"));
        QVERIFY(finished.wait(20000));

        QCOMPARE(Texts(Child<QListWidget>(window.get(), "List1")),
                 QStringList({Q(tree->path("copy.bmp")), Q(tree->path("A/A1/low.png"))}));
        QCOMPARE(Texts(Child<QListWidget>(window.get(), "List2")),
                 QStringList({"100.00%", "100.00%"}));
        QCOMPARE(count->text(), QStringLiteral("Search Count: 2"));
        QCOMPARE(count->palette().color(QPalette::Window), QColor(208, 218, 227));
        QVERIFY(search->isEnabled());
        QVERIFY(browse->isEnabled());
        QVERIFY(!stop->isEnabled());
        QCOMPARE(Child<DirectoryList>(window.get(), "Dir1")->path(), Q(tree->path()));
        QVERIFY(window->lastStatus().startsWith(
            QStringLiteral("Search finished: 5 files tested, 2 hits")));

        Child<QScrollBar>(window.get(), "HScroll1")->setValue(0);
        runSearch(window.get());
        QCOMPARE(Texts(Child<QListWidget>(window.get(), "List2")),
                 QStringList({"100.00%", "0.00%", "100.00%"}));
    }

    // Memory refused for one candidate is that file's status line; the walk goes on.
    void aCandidateThatThrowsIsSkippedWithItsReason() {
        const auto window = readyWindow(tree->path());
        window->testCandidate = [](const SearchReference& reference, const std::string& path,
                                   int percent) {
            if (path.ends_with("/copy.bmp")) {
                throw std::bad_alloc();
            }
            return TestCandidateFile(reference, path, percent);
        };
        runSearch(window.get());
        QCOMPARE(Texts(Child<QListWidget>(window.get(), "List1")),
                 QStringList({Q(tree->path("A/A1/low.png"))}));
        QCOMPARE(window->lastStatus(),
                 QStringLiteral("Search finished: 5 files tested, 1 hits; 1 skipped, last: ") +
                     Q(tree->path("copy.bmp")) + QStringLiteral(": std::bad_alloc"));
    }

    void copyGivesEachPathAndCrLf() {
        const auto window = readyWindow(tree->path());
        QApplication::clipboard()->setText(QStringLiteral("old"));
        window->Command4_Click();
        QCOMPARE(QApplication::clipboard()->text(), QString());
        runSearch(window.get());
        window->Command4_Click();
        QCOMPARE(QApplication::clipboard()->text(),
                 Q(tree->path("copy.bmp")) + "\r\n" + Q(tree->path("A/A1/low.png")) + "\r\n");
    }

    void clickingAHitShowsItsPreview() {
        const auto window = readyWindow(tree->path());
        runSearch(window.get());
        Child<QListWidget>(window.get(), "List1")->setCurrentRow(1);
        const std::string hit = tree->path("A/A1/low.png");
        QCOMPARE(Child<QListWidget>(window.get(), "List2")->currentRow(), 1);
        QCOMPARE(window->PreviewLoaded, 1);
        QCOMPARE(window->ResultFile, Q(hit));
        QCOMPARE(Child<QLineEdit>(window.get(), "Text2")->text(), Q(hit));
        QCOMPARE(Child<QLabel>(window.get(), "Label7")->text(), QStringLiteral("16 X 12 Pixels"));
        QCOMPARE(Child<PictureBox>(window.get(), "Picture1")->picture().size(), QSize(300, 225));
        FileInfoRecord record;
        GetFileInformation(hit, record);
        const BitmapHandle bitmap = testing::Loaded(hit);
        QCOMPARE(Child<QPlainTextEdit>(window.get(), "Text1")->toPlainText(),
                 QString::fromStdString(FileInfoText(record, GetImageComment(bitmap.get())))
                     .replace("\r\n", "\n"));

        // A click on a similarity shows the hit on its line.
        Child<QListWidget>(window.get(), "List2")->setCurrentRow(0);
        QCOMPARE(Child<QListWidget>(window.get(), "List1")->currentRow(), 0);
        QCOMPARE(window->ResultFile, Q(tree->path("copy.bmp")));
    }

    void compareAndViewersGetCopies() {
        const auto window = readyWindow(tree->path());
        window->Picture1_Click(); // no preview yet: nothing opens
        QCOMPARE(opened.size(), std::size_t(0));
        window->Command3_Click();
        QCOMPARE(opened.size(), std::size_t(0));
        runSearch(window.get());
        Child<QListWidget>(window.get(), "List1")->setCurrentRow(0);

        window->Command3_Click();
        QCOMPARE(opened.size(), std::size_t(1));
        auto* comparison = qobject_cast<S2_Comparison*>(opened[0]);
        QVERIFY(comparison);
        QCOMPARE(comparison->FIBMP1, window->RefImage);
        QCOMPARE(comparison->FIBMP2, window->CandBMP);
        QCOMPARE(comparison->FIBMP2->width(), kWidth);
        QCOMPARE(comparison->windowTitle(),
                 Q(tree->path("ref.png")) + " [vs] " + Q(tree->path("copy.bmp")));

        Child<PictureBox>(window.get(), "Picture1")->clicked();
        Child<PictureBox>(window.get(), "Picture5")->clicked();
        QCOMPARE(opened.size(), std::size_t(3));
        QCOMPARE(opened[1]->windowTitle(), Q(tree->path("copy.bmp")));
        QCOMPARE(opened[2]->windowTitle(), Q(tree->path("ref.png")));
        QVERIFY(qobject_cast<S3_FullSize*>(opened[1])->FIBMP);

        // A new search drops the preview: the result thumbnail opens nothing until a new click.
        runSearch(window.get());
        QCOMPARE(window->PreviewLoaded, 0);
        QVERIFY(!window->CandBMP);
        window->Picture1_Click();
        window->Command3_Click();
        QCOMPARE(opened.size(), std::size_t(3));
    }

    // Six hits c0.bmp to c5.bmp at the top of the tree; the walk, once started, stops inside
    // the named one until `proceed` is released.
    std::unique_ptr<S6_Search> windowThatHoldsAt(const std::string& name, QSemaphore& reached,
                                                 QSemaphore& proceed) {
        for (int i = 0; i < 6; ++i) {
            Save(tree->path(std::string("c").append(std::to_string(i)).append(".bmp")), 0);
        }
        auto window = readyWindow(tree->path());
        window->beforeCandidate = [&reached, &proceed, name](const std::string& path) {
            if (path.ends_with(std::string("/").append(name))) {
                reached.release();
                proceed.acquire();
            }
        };
        return window;
    }

    void stopEndsTheWalkAfterTheCurrentFile() {
        QSemaphore reached;
        QSemaphore proceed;
        const auto window = windowThatHoldsAt("c2.bmp", reached, proceed);
        QSignalSpy finished(window.get(), &S6_Search::searchFinished);
        Child<QPushButton>(window.get(), "Command1")->click();
        QVERIFY(reached.tryAcquire(1, 20000));
        Child<QPushButton>(window.get(), "Command5")->click();
        QVERIFY(!Child<QPushButton>(window.get(), "Command5")->isEnabled());
        proceed.release();
        QVERIFY(finished.wait(20000));
        // c0.bmp, c1.bmp and c2.bmp, the file being tested when Stop was pressed; no more.
        QCOMPARE(Texts(Child<QListWidget>(window.get(), "List1")),
                 QStringList(
                     {Q(tree->path("c0.bmp")), Q(tree->path("c1.bmp")), Q(tree->path("c2.bmp"))}));
        QCOMPARE(Child<QLabel>(window.get(), "Label6")->text(), QStringLiteral("Search Count: 3"));
        QVERIFY(window->lastStatus().startsWith(QStringLiteral("Search stopped: 3 files tested")));
        QVERIFY(Child<QPushButton>(window.get(), "Command1")->isEnabled());
    }

    void closingDuringAWalkStopsItFirst() {
        QSemaphore reached;
        QSemaphore proceed;
        QPointer<S6_Search> window = windowThatHoldsAt("c1.bmp", reached, proceed).release();
        Child<QPushButton>(window.data(), "Command1")->click();
        QVERIFY(reached.tryAcquire(1, 20000));
        // The walk is held inside c1.bmp while the window closes; it is let go a moment later,
        // and the close waits for it.
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            proceed.release();
        });
        window->close();
        release.join();
        QVERIFY(!window->isSearching());
        QTRY_VERIFY(window.isNull());
    }

    void directoryListEntersOnAClick() {
        auto window = std::make_unique<S6_Search>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* dir1 = Child<DirectoryList>(window.get(), "Dir1");
        QVERIFY(dir1->setPath(Q(tree->path())));
        int rowOfA = -1;
        for (int row = 0; row < dir1->count(); ++row) {
            if (dir1->pathAt(row) == tree->path("A")) {
                rowOfA = row;
            }
        }
        QVERIFY(rowOfA > 0);
        // Ancestors first: the root at the top, the directory itself above its subdirectories.
        QCOMPARE(QString::fromStdString(dir1->pathAt(0)), QStringLiteral("/"));
        QCOMPARE(dir1->pathAt(rowOfA - 1), tree->path());
        QCOMPARE(Child<QLabel>(window.get(), "Label4")->text(), QStringLiteral("File Count: 2"));

        const QRect entry = dir1->visualItemRect(dir1->item(rowOfA));
        QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, entry.center());
        QCOMPARE(dir1->path(), Q(tree->path("A")));
        auto* file1 = Child<FileList>(window.get(), "File1");
        QCOMPARE(Texts(file1), QStringList({"inverted.png"}));
        QCOMPARE(Child<QLabel>(window.get(), "Label4")->text(), QStringLiteral("File Count: 1"));
        file1->setCurrentRow(0);
        QCOMPARE(Child<QLineEdit>(window.get(), "Text2")->text(), Q(tree->path("A/inverted.png")));

        std::filesystem::remove_all(tree->path("A/A1"));
        const int rowOfA1 = dir1->count() - 1;
        QCOMPARE(dir1->pathAt(rowOfA1), tree->path("A/A1"));
        QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {},
                          dir1->visualItemRect(dir1->item(rowOfA1)).center());
        QCOMPARE(dir1->path(), Q(tree->path("A"))); // stays where it was, with a status line
        QVERIFY(window->lastStatus().contains(Q(tree->path("A/A1"))));
    }

    void driveListShowsTheMountedFileSystems() {
        S6_Search window;
        auto* drive1 = Child<DriveList>(&window, "Drive1");
        QVERIFY(drive1->count() > 0);
        QVERIFY(drive1->findData(QStringLiteral("/")) >= 0);
        QCOMPARE(drive1->drive(), QStorageInfo(QDir::currentPath()).rootPath());
        // Choosing a drive shows its root directory.
        Child<DirectoryList>(&window, "Dir1")->setPath(Q(tree->path()));
        drive1->setCurrentIndex(drive1->findData(QStringLiteral("/")));
        window.Drive1_Change();
        QCOMPARE(Child<DirectoryList>(&window, "Dir1")->path(), QStringLiteral("/"));
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::S6SearchTest)
#include "S6SearchTest.moc"

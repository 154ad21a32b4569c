// The file-analysis window base under a window whose run waits until it is told to stop: which
// files reach the analysis, and which runs' results are shown.
#include "widgets/FileAnalysisWindow.h"

#include <QDir>
#include <QMimeData>
#include <QPointer>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

namespace vantrel {

namespace {

class WaitingWindow : public FileAnalysisWindow {
public:
    explicit WaitingWindow(std::shared_ptr<QStringList> shown) : shown_(std::move(shown)) {}
    ~WaitingWindow() override { stopWork(); }

    void loadFile(const QString& path) override {
        beginFile(path);
        started << path;
        startRun([this, path](int) -> std::function<void()> {
            while (hold && !cancelFlag()->load()) {
                std::this_thread::yield();
            }
            return [shown = shown_, path] { *shown << path; };
        });
    }

    QStringList started;
    std::atomic<bool> hold{false};

private:
    std::shared_ptr<QStringList> shown_;
};

} // namespace

class FileAnalysisWindowTest : public QObject {
    Q_OBJECT

private slots:
    void browseAndDropsReachTheAnalysis() {
        auto shown = std::make_shared<QStringList>();
        WaitingWindow window(shown);
        window.show();
        std::optional<QString> choice;
        window.setFileChooser([&](QWidget*, const OpenFileRequest&) { return choice; });
        window.Browse_Click(); // cancelled
        choice = QStringLiteral("/tmp/chosen.png");
        window.Browse_Click();

        const auto drop = [&](QMimeData& mime) {
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(&window, &enter);
            if (enter.isAccepted()) {
                QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton,
                                   Qt::NoModifier);
                QApplication::sendEvent(&window, &dropped);
            }
        };
        QMimeData text;
        text.setText(QStringLiteral("/tmp/not-a-file-drop.png"));
        drop(text);
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/dropped.png"))});
        drop(file);

        const QStringList expected{QStringLiteral("/tmp/chosen.png"),
                                   QStringLiteral("/tmp/dropped.png")};
        QCOMPARE(window.started, expected);
        QTRY_COMPARE(*shown, QStringList{expected.back()}); // the drop replaced the choice
    }

    // Each Browse opens where the last file was chosen; the title names the file and its folder.
    void browseRemembersTheFolderAndNamesTheFile() {
        auto shown = std::make_shared<QStringList>();
        WaitingWindow window(shown);
        QStringList folders;
        window.setFileChooser([&](QWidget*, const OpenFileRequest& request) {
            folders << request.folder;
            return std::optional<QString>(QStringLiteral("/tmp/case %1/a.png").arg(folders.size()));
        });
        window.Browse_Click();
        window.Browse_Click();
        QCOMPARE(folders, (QStringList{QDir::currentPath(), QStringLiteral("/tmp/case 1")}));
        QCOMPARE(window.windowTitle(), QStringLiteral("a.png \u2014 /tmp/case 2"));
    }

    void onlyTheLatestRunIsShown() {
        auto shown = std::make_shared<QStringList>();
        WaitingWindow window(shown);
        window.hold = true;
        window.loadFile(QStringLiteral("first"));
        window.loadFile(QStringLiteral("second")); // stops the first, which posts all the same
        QVERIFY(window.isRunning());
        window.hold = false;
        QTRY_COMPARE(*shown, QStringList{QStringLiteral("second")});
        QTest::qWait(50);
        QCOMPARE(*shown, QStringList{QStringLiteral("second")});
    }

    void closingDuringARunShowsNothingAndEndsTheRun() {
        auto shown = std::make_shared<QStringList>();
        auto* window = new WaitingWindow(shown);
        window->show();
        QPointer<WaitingWindow> alive(window);
        window->hold = true;
        window->loadFile(QStringLiteral("never shown"));
        window->closeWindow();
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 30000);
        QTest::qWait(50);
        QVERIFY(shown->isEmpty());
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::FileAnalysisWindowTest)
#include "FileAnalysisWindowTest.moc"

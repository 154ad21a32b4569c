// The file-analysis window base under a window whose run waits until it is told to stop: which
// files reach the analysis, and which runs' results are shown.
#include "widgets/FileAnalysisWindow.h"

#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
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

// A window whose result is a fixed report, there once a file is loaded.
class ReportWindow : public FileAnalysisWindow {
public:
    ReportWindow() : failureLine(new QLabel(this)) {
        addReportButtons(80, 70);
        setFailureLine(failureLine);
    }
    void loadFile(const QString&) override {
        json = "{\"file\":\"a.png\"}";
        updateReportButtons();
    }
    bool hasReport() const override { return !json.empty(); }
    std::string reportJson() const override { return json; }

    std::string json;
    QLabel* failureLine;
};

} // namespace

class FileAnalysisWindowTest : public QObject {
    Q_OBJECT

private slots:
    void saveReportWaitsForAResultAndReportsWhereItWent_data() {
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("folder"); // below the temporary folder
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("status");
        QTest::newRow("no result yet") << false << QString() << QString() << QString();
        QTest::newRow("written") << true << QString() << QStringLiteral("{\"file\":\"a.png\"}\n")
                                 << QStringLiteral("Saved 17 bytes to ");
        QTest::newRow("folder missing") << true << QStringLiteral("missing/") << QString()
                                        << QStringLiteral("Could not write ");
    }
    void saveReportWaitsForAResultAndReportsWhereItWent() {
        QFETCH(bool, loaded);
        QFETCH(QString, folder);
        QFETCH(QString, written);
        QFETCH(QString, status);
        QTemporaryDir temporary;
        const QString target = QDir(temporary.path()).filePath(folder + QStringLiteral("r.json"));
        ReportWindow window;
        window.chooseReportPath = [&](QWidget*) { return std::optional<QString>(target); };
        if (loaded) {
            window.loadFile(QStringLiteral("a.png"));
        }
        auto* save = window.findChild<QPushButton*>(QStringLiteral("SaveReport"));
        QCOMPARE(save->isEnabled(), loaded);
        QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("Copy"))->isEnabled(), loaded);
        window.SaveReport_Click();
        QFile file(target);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString(),
                 written);
        QCOMPARE(window.lastStatus(), status.isEmpty() ? QString() : status + target);
        QCOMPARE(window.failureLine->text().isEmpty(), !status.startsWith(QStringLiteral("Could")));
    }

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

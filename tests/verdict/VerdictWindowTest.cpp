// The File Verdict window on the fixtures of VerdictFixtures.h: each row says what the layer says,
// an evidence line opens its analysis's window on the file, the saved report is the layer's, and a
// folder dropped on the main window's empty area gets its verdict.
#include "VerdictFixtures.h"
#include "WindowTest.h"

#include "steghide/SteghideWindow.h"
#include "structure/StructureWindow.h"
#include "verdict/Scan.h"
#include "verdict/VerdictReport.h"
#include "verdict/VerdictWindow.h"

#include <QTableWidget>

#include <fstream>

namespace vantrel {

namespace fs = std::filesystem;

class VerdictWindowTest : public QObject {
    Q_OBJECT

    fs::path made_ = fs::temp_directory_path() / ("vantrel-verdict-ui-" + std::to_string(getpid()));
    std::vector<std::string> paths_;
    std::vector<verdict::FileRecord> layer_;

    static QStringList Texts(QTableWidget* table, int column) {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts << table->item(row, column)->text();
        }
        return texts;
    }

private slots:
    void initTestCase() {
        paths_ = testing::VerdictCasePaths(made_);
        std::ifstream in(testing::kVerdictWords, std::ios::binary);
        ScanOptions options;
        options.words = std::string((std::istreambuf_iterator<char>(in)), {});
        ScanFiles(FilesListed(paths_, {}), options, [this](const verdict::FileRecord& r) {
            layer_.push_back(r);
            return true;
        });
    }
    void cleanupTestCase() { fs::remove_all(made_); }

    void rowsEvidenceWindowsAndReportAgreeWithTheLayer() {
        MDIForm1 main;
        VerdictWindow* window = main.FileVerdict_Click();
        window->chooseWordList = [](QWidget*) {
            return std::optional<QString>(QString::fromUtf8(testing::kVerdictWords));
        };
        window->WordList_Click();
        QSignalSpy finished(window, &VerdictWindow::finished);
        QStringList files;
        for (const std::string& path : paths_) {
            files << QString::fromStdString(path);
        }
        window->loadFiles(files);
        QVERIFY(finished.wait(120000));
        auto* table = testing::Child<QTableWidget>(window, "Files");
        QStringList verdicts, tools;
        for (const verdict::FileRecord& r : layer_) {
            verdicts << (r.readable() ? verdict::VerdictName(r.verdict) : "unreadable");
            QStringList named;
            for (const std::string& tool : r.tools) {
                named << QString::fromStdString(tool);
            }
            tools << named.join(QStringLiteral(", "));
        }
        QCOMPARE(Texts(table, 3), verdicts);
        QCOMPARE(Texts(table, 4), tools);

        // From the steghide hit and from the planted archive, the window that shows each.
        const auto open = [&](const char* file, const char* analysis) {
            for (int row = 0; row < table->rowCount(); ++row) {
                if (table->item(row, 0)->text().endsWith(QString::fromLatin1(file))) {
                    table->setCurrentCell(row, 0);
                }
            }
            auto* evidence = testing::Child<QTableWidget>(window, "Evidence");
            QCOMPARE(evidence->item(0, 1)->text(), QString::fromLatin1(analysis));
            evidence->setCurrentCell(0, 0);
            testing::Child<QPushButton>(window, "OpenEvidence")->click();
        };
        open("jpeg-default.jpg", "steghide");
        QCOMPARE(main.findChildren<SteghideWindow*>().size(), 1);
        open("appended-zip.png", "structure");
        const QList<StructureWindow*> structures = main.findChildren<StructureWindow*>();
        QCOMPARE(structures.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(structures.front()->structure() != nullptr, 30000);
        QCOMPARE(structures.front()->structure()->anomalies.size(), 1u);

        const std::string report = (made_ / "report.json").string();
        window->chooseSavePath = [&](QWidget*, const QString&, const QString&) {
            return std::optional<QString>(QString::fromStdString(report));
        };
        window->SaveReport_Click();
        std::ifstream saved(report);
        std::size_t row = 0;
        for (std::string line; std::getline(saved, line); ++row) {
            QVERIFY(row < layer_.size());
            const std::string expected = verdict::RecordJson(layer_[row]);
            QCOMPARE(line.substr(0, line.rfind(", \"seconds\"")),
                     expected.substr(0, expected.rfind(", \"seconds\"")));
        }
        QCOMPARE(row, layer_.size());
    }

    void folderDroppedOnTheMainWindowGetsItsVerdict() {
        MDIForm1 main;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(made_.string()))});
        QWidget* empty = main.mdiArea()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(empty, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(empty, &drop);
        const QList<VerdictWindow*> windows = main.findChildren<VerdictWindow*>();
        QCOMPARE(windows.size(), 1);
        QSignalSpy finished(windows.front(), &VerdictWindow::finished);
        QVERIFY(finished.wait(60000));
        QCOMPARE(
            Texts(testing::Child<QTableWidget>(windows.front(), "Files"), 3),
            QStringList{QStringLiteral("clean")}); // made/clean.png (and the report, not an image)
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::VerdictWindowTest)
#include "VerdictWindowTest.moc"

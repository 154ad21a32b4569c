// The blind-analysis window driven as a user would: a file chosen, the table, the
// clipboard and the saved report read back, and a file that does not decode.
#include "BlindFixtures.h"

#include "TestData.h"
#include "blind/BlindAnalysis.h"
#include "blind/BlindFile.h"
#include "blind/BlindReport.h"
#include "widgets/ChooseImageFile.h"
#include "widgets/PictureBox.h"

#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include <filesystem>
#include <fstream>

namespace vantrel {

namespace fs = std::filesystem;

class BlindWindowTest : public QObject {
    Q_OBJECT

    fs::path dir_ = fs::temp_directory_path() / ("vantrel-blind-ui-" + std::to_string(getpid()));

    std::string saveImage(const char* name, double rate, int width = 240, int height = 160) {
        const BitmapHandle image = testing::NaturalImage(width, height, 4);
        testing::EmbedLsb(image.get(), rate, false, 9);
        const std::string path = (dir_ / name).string();
        FreeImage_Save(FIF_PNG, image.get(), path.c_str(), PNG_Z_BEST_SPEED);
        return path;
    }

    static bool runTo(BlindAnalysis& window, const std::function<void()>& start) {
        QSignalSpy finished(&window, &BlindAnalysis::analysisFinished);
        start();
        return finished.wait(30000);
    }

private slots:
    void init() { fs::create_directories(dir_); }
    void cleanup() { fs::remove_all(dir_); }

    void tableShowsTheCoreResultsWithTheVerdict_data() {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QString>("summary");
        QTest::newRow("stego") << 0.8 << 240 << "suspicious"
                               << ", suspicious";
        QTest::newRow("clean") << 0.0 << 240 << "clean"
                               << ", clean";
        // The line says why instead of a verdict that looks like an answer.
        QTest::newRow("60x40 figure") << 0.0 << 60 << "not applicable"
                                      << ", not applicable: too few usable samples: ";
    }
    void tableShowsTheCoreResultsWithTheVerdict() {
        QFETCH(double, rate);
        QFETCH(int, width);
        QFETCH(QString, verdict);
        QFETCH(QString, summary);
        const std::string path = saveImage("picture.png", rate, width, width * 2 / 3);
        const BlindResult expected = testing::Analysed(testing::Loaded(path).get());
        BlindAnalysis window;
        window.setFileChooser([&](QWidget*, const OpenFileRequest&) {
            return std::optional<QString>(QString::fromStdString(path));
        });
        window.show();
        QVERIFY(runTo(window, [&] { window.findChild<QPushButton*>("Browse")->click(); }));
        auto* table = window.findChild<QTableWidget*>("Table");
        QCOMPARE(table->columnCount(), 3);
        for (int column = 0; column < 3; ++column) {
            const ChannelResult& c = expected.channels[static_cast<std::size_t>(column)];
            QCOMPARE(table->horizontalHeaderItem(column)->text(), QString::fromStdString(c.name));
            QCOMPARE(table->item(2, column)->text(),
                     QString::fromStdString(JudgedCell(c.rs.rate, c.rs.status, c.rs.judgement)));
            QCOMPARE(table->item(4, column)->text(),
                     QString::fromStdString(JudgedCell(c.ws.rate, c.ws.status, c.ws.judgement)));
            QCOMPARE(table->item(5, column)->text(), verdict);
        }
        QVERIFY(window.findChild<QLabel*>("Summary")->text().contains(summary));
        QCOMPARE(window.findChild<PictureBox*>("Thumbnail")->picture().size().width(), 256);

        window.findChild<QPushButton*>("Copy")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString::fromStdString(BlindText(path, expected)));
        const std::string report = (dir_ / "report.json").string();
        window.chooseReportPath = [&](QWidget*) {
            return std::optional<QString>(QString::fromStdString(report));
        };
        window.findChild<QPushButton*>("SaveReport")->click();
        QCOMPARE(testing::FileBytes(report), BlindJson(path, expected) + "\n");
    }

    void badFileAfterAGoodOneIsOneLine() {
        const std::string good = saveImage("good.png", 0.3);
        BlindAnalysis window;
        window.show();
        QVERIFY(!window.findChild<QPushButton*>("Copy")->isEnabled()); // nothing to copy yet
        QVERIFY(runTo(window, [&] { window.loadFile(QString::fromStdString(good)); }));
        QCOMPARE(window.result().channels.size(), std::size_t{3});
        QVERIFY(window.findChild<QPushButton*>("SaveReport")->isEnabled());

        const std::string bad = (dir_ / "bad.png").string();
        std::ofstream(bad) << "no picture here";
        QVERIFY(runTo(window, [&] { window.loadFile(QString::fromStdString(bad)); }));
        QVERIFY(window.findChild<QLabel*>("Summary")->text().startsWith("Could not decode"));
        QCOMPARE(window.findChild<QTableWidget*>("Table")->columnCount(), 0);
        QVERIFY(!window.findChild<QPushButton*>("SaveReport")->isEnabled());
    }

    void jpegGetsTheCoefficientAttacks_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("cjpeg cover") << "chelsea-q85.jpg"
                                     << "clean";
        QTest::newRow("f5stego") << "chelsea-f5.jpg"
                                 << "suspicious";
    }
    void jpegGetsTheCoefficientAttacks() {
        QFETCH(QString, name);
        QFETCH(QString, verdict);
        BlindAnalysis window;
        window.show();
        QVERIFY(runTo(window,
                      [&] { window.loadFile(QStringLiteral(VANTREL_TEST_DATA "/jpeg/") + name); }));
        auto* table = window.findChild<QTableWidget*>("Table");
        QCOMPARE(table->columnCount(), 1);
        for (int row = 0; row < 5; ++row) { // chi-square p, fraction, RS, SPA, WS
            QCOMPARE(table->item(row, 0)->text(), QString::fromLatin1(kNotApplicableToJpeg));
        }
        QCOMPARE(table->item(table->rowCount() - 1, 0)->text(), verdict);
        QVERIFY(window.findChild<QLabel*>("Summary")->text().endsWith(", JPEG, " + verdict));
        QVERIFY(table->horizontalHeaderItem(0)->text().startsWith(verdict + ": JSteg fraction"));
        window.findChild<QPushButton*>("Copy")->click();
        QVERIFY(QGuiApplication::clipboard()->text().contains("F5 beta"));
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::BlindWindowTest)
#include "BlindWindowTest.moc"

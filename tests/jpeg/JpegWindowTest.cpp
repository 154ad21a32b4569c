// The JPEG analysis window driven as a user would: a cover and an F5 stego chosen, the verdict,
// the tables, the histogram choice and the saved report read back; a broken file is one line.
#include "TestData.h"
#include "jpeg/JpegAnalysisWindow.h"
#include "jpeg/JpegFigures.h"
#include "jpeg/LoadCoefficients.h"
#include "widgets/PictureBox.h"

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include <filesystem>

namespace vantrel {

class JpegWindowTest : public QObject {
    Q_OBJECT

    static QString fixture(const QString& name) {
        return QStringLiteral(VANTREL_TEST_DATA "/jpeg/") + name;
    }
    static bool runTo(JpegAnalysisWindow& window, const QString& path) {
        QSignalSpy finished(&window, &JpegAnalysisWindow::analysisFinished);
        window.setFileChooser(
            [path](QWidget*, const OpenFileRequest&) { return std::optional<QString>(path); });
        window.findChild<QPushButton*>("Browse")->click();
        return finished.wait(30000);
    }

private slots:
    // Truth from the tools that made the files: cjpeg -quality 85 (4:2:0, tables 0 and 1) and
    // f5stego over it; cjpeg 80 then 95 for the file compressed twice, which F5 judges through the
    // first table it estimates, with no warning.
    void verdictTablesAndReport_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<bool>("warned");
        QTest::newRow("cover") << "chelsea-q85.jpg"
                               << "clean" << false;
        QTest::newRow("f5stego") << "chelsea-f5.jpg"
                                 << "suspicious" << false;
        QTest::newRow("twice") << "chelsea-double-80-95.jpg"
                               << "clean" << false;
    }
    void verdictTablesAndReport() {
        QFETCH(QString, name);
        QFETCH(QString, verdict);
        QFETCH(bool, warned);
        JpegAnalysisWindow window;
        window.show();
        QVERIFY(runTo(window, fixture(name)));
        QVERIFY(window.findChild<QLabel*>("Verdict")->text().startsWith(verdict + ":"));
        QCOMPARE(!window.findChild<QLabel*>("Warning")->text().isEmpty(), warned);
        auto* table = window.findChild<QTableWidget*>("Table");
        QCOMPARE(table->item(table->rowCount() - 1, 0)->text(), verdict);
        QVERIFY(
            window.findChild<QLabel*>("Sampling")->text().startsWith("Y 2x2 (table 0), Cb 1x1"));
        QVERIFY(window.findChild<QPlainTextEdit*>("Tables")->toPlainText().contains("table 1"));
        QVERIFY(window.findChild<QPlainTextEdit*>("Tables")->toPlainText().startsWith(
            "nothing after EOI, 0 comments\n"));
        // Three components, five calibrated modes each.
        auto* mode = window.findChild<QComboBox*>("Mode");
        QCOMPARE(mode->count(), 15);
        mode->setCurrentIndex(3);
        QCOMPARE(mode->currentText(), QStringLiteral("Y mode (1,1)"));
        // 320 x 240 is 40 x 30 luminance blocks; fitted into 368 x 200 the height binds and the
        // width is 200 x 40 / 30, truncated.
        QCOMPARE(window.findChild<PictureBox*>("BlockMap")->picture().size(), QSize(266, 200));

        window.findChild<QPushButton*>("Copy")->click();
        QVERIFY(QGuiApplication::clipboard()->text().contains("quality "));
        const std::string report =
            (std::filesystem::temp_directory_path() / ("jpeg-report-" + std::to_string(getpid())))
                .string();
        window.chooseReportPath = [&](QWidget*) {
            return std::optional<QString>(QString::fromStdString(report));
        };
        window.findChild<QPushButton*>("SaveReport")->click();
        const std::string saved = testing::FileBytes(report);
        std::filesystem::remove(report);
        QVERIFY(
            saved.find("\"suspicious\": " + std::string(verdict == "clean" ? "false" : "true")) !=
            std::string::npos);
        QVERIFY(saved.ends_with("}\n"));
    }

    // chelsea-q85.jpg (17085 bytes) plus two COM segments of 14 and 8 bytes, then chelsea-q95.jpg
    // (30545 bytes) appended.
    void trailerHeadsTheTables() {
        JpegAnalysisWindow window;
        window.show();
        QVERIFY(runTo(window, fixture("chelsea-comments-trailer.jpg")));
        QVERIFY(window.findChild<QPlainTextEdit*>("Tables")->toPlainText().startsWith(
            "30545 bytes after EOI at offset 17107, 2 comments\n"));
    }

    void brokenFileIsOneLine() {
        JpegAnalysisWindow window;
        window.show();
        QVERIFY(runTo(window, fixture("truncated.jpg")));
        QVERIFY(!window.hasResult());
        QVERIFY(!window.findChild<QLabel*>("Summary")->text().contains('\n'));
        QCOMPARE(window.findChild<QTableWidget*>("Table")->rowCount(), 0);
    }

    // Nonzero AC counts by hand: a block of zeros, one with DC only, one with three ACs.
    void blockActivityCountsAcOnly() {
        JpegComponent component;
        component.widthInBlocks = 3;
        component.heightInBlocks = 1;
        component.coefficients.assign(3 * 64, 0);
        component.coefficients[64] = 50; // DC of block 1
        for (const int i : {1, 8, 63}) {
            component.coefficients[128 + i] = -1;
        }
        const BlockActivity map = NonzeroAcPerBlock(component);
        QCOMPARE(map.nonzeroAc, (std::vector<std::uint8_t>{0, 0, 3}));
        QCOMPARE(ActivityGreyLevels(map)[2], std::uint8_t(12)); // 3 * 255 / 63 = 12.14
        component.coefficients.resize(100);
        QCOMPARE(NonzeroAcPerBlock(component).columns, 0);
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::JpegWindowTest)
#include "JpegWindowTest.moc"

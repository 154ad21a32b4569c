// The File Structure window driven as a user would, on files planted with cat and a cut IHDR:
// the anomalies it lists first are the command line's, selecting one shows its bytes, the
// carved archive is the one appended, and a cut PNG's repair is the uncut cover again.
#include "structure/StructureWindow.h"
#include "TestData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>

namespace vantrel {

namespace {

const QString kData = QStringLiteral(VANTREL_TEST_DATA "/structure/");

std::string Bytes(const QString& path) {
    return testing::FileBytes(PathBytes(path));
}

} // namespace

class StructureWindowTest : public QObject {
    Q_OBJECT

private slots:
    void walksAndSaves_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("firstKind");
        QTest::addColumn<QString>("saved"); // what Save Carved or Save Repaired PNG must write
        QTest::newRow("png + zip") << "appended-zip.png"
                                   << "data-after-end"
                                   << "secret.zip";
        QTest::newRow("cut, stale crc") << "cut-stale.png"
                                        << "crc-mismatch"
                                        << "clean-im.png";
        QTest::newRow("cut, crc recomputed") << "cut-recomputed.png"
                                             << "idat-excess"
                                             << "clean-im.png";
    }
    void textFileNamedPngIsNotAnImage() {
        StructureWindow window;
        QSignalSpy shown(&window, &StructureWindow::structureShown);
        window.loadFile(QStringLiteral(VANTREL_TEST_DATA "/text.png"));
        QVERIFY(shown.wait(30000));
        const QString line = window.findChild<QLabel*>(QStringLiteral("FileLabel"))->text();
        QVERIFY2(line.startsWith(QStringLiteral("text.png: not an image")), qPrintable(line));
    }

    void walksAndSaves() {
        QFETCH(QString, file);
        QFETCH(QString, firstKind);
        QFETCH(QString, saved);
        StructureWindow window;
        QSignalSpy shown(&window, &StructureWindow::structureShown);
        window.setFileChooser(
            [&](QWidget*, const OpenFileRequest&) { return std::optional<QString>(kData + file); });
        window.findChild<QPushButton*>(QStringLiteral("Browse"))->click();
        QVERIFY(shown.wait(30000));

        auto* anomalies = window.findChild<QTreeWidget*>(QStringLiteral("Anomalies"));
        QVERIFY(anomalies->topLevelItemCount() > 0);
        QCOMPARE(anomalies->topLevelItem(0)->text(0), firstKind);
        const QTreeWidgetItem* format =
            window.findChild<QTreeWidget*>(QStringLiteral("Parts"))->topLevelItem(0);
        QVERIFY(format && format->childCount() > 3); // IHDR, IDAT, IEND and more
        if (firstKind == QLatin1String("data-after-end")) {
            // cat put the archive right after the cover.
            QCOMPARE(anomalies->topLevelItem(0)->text(1).toULongLong(),
                     Bytes(kData + "clean-im.png").size());
        }
        const int last = anomalies->topLevelItemCount() - 1;
        anomalies->setCurrentItem(anomalies->topLevelItem(last));
        auto* hex = window.findChild<HexView*>(QStringLiteral("Hex"));
        QCOMPARE(hex->selectionOffset(), anomalies->topLevelItem(last)->text(1).toULongLong());
        QCOMPARE(hex->selectionLength(), anomalies->topLevelItem(last)->text(2).toULongLong());

        QProcess cli;
        cli.start(QStringLiteral(VANTREL_CLI), {"structure", "--json", kData + file});
        QVERIFY(cli.waitForFinished(30000));
        QStringList cliKinds, windowKinds;
        const QJsonArray listed =
            QJsonDocument::fromJson(cli.readAllStandardOutput()).object()["anomalies"].toArray();
        for (const QJsonValue& anomaly : listed) {
            cliKinds << anomaly.toObject()["kind"].toString();
        }
        for (int row = 0; row < anomalies->topLevelItemCount(); ++row) {
            windowKinds << anomalies->topLevelItem(row)->text(0);
        }
        QCOMPARE(windowKinds, cliKinds);

        const QString target = QDir::temp().filePath(
            QStringLiteral("vantrel-structure-%1").arg(QCoreApplication::applicationPid()));
        window.chooseSavePath = [&](QWidget*, const QString&, const QString&) {
            return std::optional<QString>(target);
        };
        const bool repair = saved.endsWith(QLatin1String(".png"));
        QVERIFY(!window.findChild<QPushButton*>("SaveRepaired")->isEnabled() || repair);
        window.findChild<QPushButton*>(repair ? "SaveRepaired" : "SaveCarved")->click();
        const std::string written = Bytes(target);
        std::filesystem::remove(PathBytes(target));
        QVERIFY(written == Bytes(kData + saved));
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::StructureWindowTest)
#include "StructureWindowTest.moc"

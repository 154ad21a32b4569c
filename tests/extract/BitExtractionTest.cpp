#include "extract/BitExtraction.h"
#include "TestData.h"
#include "widgets/ChooseImageFile.h"

#include <FreeImage.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace vantrel {

class BitExtractionTest : public QObject {
    Q_OBJECT

private slots:
    // Browse, the bytes at once, a scan whose first row is the steggy message, a click that
    // selects a layout, and the carved message saved.
    void recoversSteggyMessageAndSavesIt() {
        const QString fixture = QString(VANTREL_TEST_DATA) + "/extract/steggy.png";
        auto* window = new BitExtraction;
        window->setFileChooser([fixture](QWidget*, const OpenFileRequest&) {
            return std::optional<QString>(fixture);
        });
        window->show();
        QSignalSpy loaded(window, &BitExtraction::fileLoaded);
        QTest::mouseClick(window->findChild<QPushButton*>("Browse"), Qt::LeftButton);
        QVERIFY(loaded.wait(30000));
        auto* hex = window->findChild<QPlainTextEdit*>("HexView");
        QVERIFY(hex->toPlainText().startsWith("00000000  00 00 00 00 00 00 00 36 "));
        QVERIFY(hex->toPlainText().contains("Meet at "));

        window->findChild<QLineEdit*>("LayoutText")->setText("b1,r,msb,YX");
        QTest::keyClick(window->findChild<QLineEdit*>("LayoutText"), Qt::Key_Return);
        QCOMPARE(window->findChild<QLineEdit*>("Channels")->text(), QString("r"));
        QVERIFY(!hex->toPlainText().contains("Meet at "));

        QSignalSpy finished(window, &BitExtraction::scanFinished);
        QTest::mouseClick(window->findChild<QPushButton*>("Scan"), Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        auto* table = window->findChild<QTableWidget*>("Findings");
        QVERIFY(table->rowCount() >= 1);
        QCOMPARE(table->item(0, 0)->text(), QString("b1,rgb,lsb,xy"));
        QCOMPARE(table->item(0, 1)->text(), QString("found"));
        QVERIFY(table->item(0, 2)->text().startsWith("steggy message, SHA-256 verified"));
        // Raw readings wait behind their box.
        const auto rawRows = [table](bool hidden) {
            int count = 0;
            for (int row = 0; row < table->rowCount(); ++row) {
                count += table->item(row, 1)->text() == "raw" && table->isRowHidden(row) == hidden;
            }
            return count;
        };
        QVERIFY(rawRows(true) > 0);
        QCOMPARE(rawRows(false), 0);
        window->findChild<QCheckBox*>("ShowRaw")->setChecked(true);
        QCOMPARE(rawRows(true), 0);

        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualItemRect(table->item(0, 0)).center());
        QCOMPARE(window->findChild<QLineEdit*>("LayoutText")->text(), QString("b1,rgb,lsb,xy"));
        QTemporaryDir directory;
        const QString saved = directory.filePath("payload.bin");
        window->chooseSavePath = [saved](QWidget*) { return std::optional<QString>(saved); };
        QTest::mouseClick(window->findChild<QPushButton*>("Save"), Qt::LeftButton);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("Meet at the north gate at dawn; bring the blue folder."));
        delete window;
    }

    // Closing while a scan of a large image runs stops it before the image is released.
    void closesSafelyDuringAScan() {
        QTemporaryDir directory;
        const QString path = directory.filePath("noise.bmp");
        const BitmapHandle bitmap = testing::NoiseBitmap(1500, 1000, 24, 3);
        QVERIFY(FreeImage_Save(FIF_BMP, bitmap.get(), path.toUtf8().constData()));
        QPointer<BitExtraction> window = new BitExtraction;
        window->show();
        QSignalSpy loaded(window.data(), &BitExtraction::fileLoaded);
        window->loadFile(path);
        QVERIFY(loaded.wait(30000));
        window->findChild<QCheckBox*>("ScanPrime")->setChecked(true);
        QTest::mouseClick(window->findChild<QPushButton*>("Scan"), Qt::LeftButton);
        QVERIFY(window->isScanning());
        window->closeWindow();
        QTRY_VERIFY(window.isNull());
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::BitExtractionTest)
#include "BitExtractionTest.moc"

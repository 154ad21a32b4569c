// vantrel-cli planes, compare and direction give the pictures and labels the windows show.
#include "TestData.h"
#include "WindowTest.h"
#include "multiwindow/S1_Analysis.h"
#include "multiwindow/S2_Comparison.h"
#include "multiwindow/S4_Direction.h"

namespace vantrel {

using testing::Colours;
using testing::NoiseBitmap;

namespace {

// The program's standard output, one line a row.
QStringList Lines(const testing::CliRun& run) {
    return QString::fromStdString(run.out).split('\n', Qt::SkipEmptyParts);
}

qint64 NonBlack(const std::vector<std::uint8_t>& colours) {
    qint64 lit = 0;
    for (std::size_t i = 0; i + 2 < colours.size(); i += 3) {
        lit += (colours[i] | colours[i + 1] | colours[i + 2]) != 0;
    }
    return lit;
}

} // namespace

class GridCliTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QString first;
    QString second;

    // Checks the CLI's picture files against the window's analysis bitmaps.
    void comparePictures(const AnalysisGridWindow& window, const QString& outDir) {
        for (int index = 0; index < kPictureCount; ++index) {
            const QString path =
                outDir + QStringLiteral("/picture-%1.png").arg(index, 2, 10, QLatin1Char('0'));
            const BitmapHandle written = testing::Loaded(path.toStdString());
            QVERIFY2(written, qPrintable(path));
            QCOMPARE(BitmapBitsPerPixel(written.get()), 24);
            const BitmapHandle shown = window.analysisBitmaps().fullBitmap(index);
            QVERIFY2(Colours(written.get()) == Colours(shown.get()), qPrintable(path));
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(folder.isValid());
        // 24-bit noise and a copy with about a third of its bytes changed; PNG keeps them exactly.
        const BitmapHandle a = NoiseBitmap(37, 23, 24, 11);
        const BitmapHandle b = CloneBitmap(a.get());
        const BitmapHandle changes = NoiseBitmap(37, 23, 24, 12);
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37 * 3; ++x) {
                const std::uint8_t change = ViewOfBitmap(changes.get()).row(y)[x];
                if (change % 3 == 0) {
                    MutableViewOfBitmap(b.get()).row(y)[x] ^= change;
                }
            }
        }
        first = folder.filePath(QStringLiteral("first.png"));
        second = folder.filePath(QStringLiteral("second.png"));
        QVERIFY(FreeImage_Save(FIF_PNG, a.get(), qPrintable(first), PNG_DEFAULT));
        QVERIFY(FreeImage_Save(FIF_PNG, b.get(), qPrintable(second), PNG_DEFAULT));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void planesAgreeWithTheWindow() {
        const QString outDir = folder.filePath(QStringLiteral("planes"));
        const testing::CliRun result = testing::RunCli({QStringLiteral("planes"), first, outDir});
        QCOMPARE(result.status, 0);
        const QStringList lines = Lines(result);
        QCOMPARE(lines.size(), kPictureCount);
        S1_Analysis window;
        window.FIBMP1 = ShareImage(testing::Loaded(first.toStdString()));
        window.StartAnalysis();
        comparePictures(window, outDir);
        for (int index = 0; index < kPictureCount; ++index) {
            const BitmapHandle shown = window.analysisBitmaps().fullBitmap(index);
            QCOMPARE(lines[index],
                     QStringLiteral("%1\t%2").arg(index).arg(NonBlack(Colours(shown.get()))));
        }
    }

    void comparisonsAgreeWithTheWindows_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("compare") << QStringLiteral("compare");
        QTest::newRow("direction") << QStringLiteral("direction");
    }

    void comparisonsAgreeWithTheWindows() {
        QFETCH(QString, command);
        const QString outDir = folder.filePath(command);
        const testing::CliRun result = testing::RunCli({command, first, second, outDir});
        QCOMPARE(result.status, 0);
        const QStringList lines = Lines(result);
        QCOMPARE(lines.size(), kPictureCount);
        std::unique_ptr<ImagePairGridWindow> window;
        if (command == QStringLiteral("compare")) {
            window = std::make_unique<S2_Comparison>();
        } else {
            window = std::make_unique<S4_Direction>();
        }
        window->FIBMP1 = ShareImage(testing::Loaded(first.toStdString()));
        window->FIBMP2 = ShareImage(testing::Loaded(second.toStdString()));
        window->StartComparison();
        comparePictures(*window, outDir);
        int changed = 0;
        for (int index = 0; index < kPictureCount; ++index) {
            const QString label =
                window->findChild<QLabel*>(QStringLiteral("L1_%1").arg(index))->text();
            QCOMPARE(lines[index], QStringLiteral("%1\t%2").arg(index).arg(label));
            changed += label != QStringLiteral("-");
        }
        QVERIFY(changed > 30);
    }

    void differentSizesAreRefused() {
        const QString portrait = folder.filePath(QStringLiteral("portrait.png"));
        QImage image(23, 37, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(portrait));
        for (const QString& command : {QStringLiteral("compare"), QStringLiteral("direction")}) {
            const testing::CliRun result = testing::RunCli({command, first, portrait});
            QCOMPARE(result.status, 1);
            QVERIFY(result.out.empty());
            QVERIFY2(result.err.find("different sizes") != std::string::npos &&
                         result.err.find("37 x 23") != std::string::npos &&
                         result.err.find("23 x 37") != std::string::npos,
                     result.err.c_str());
        }
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::GridCliTest)
#include "gridCliTest.moc"

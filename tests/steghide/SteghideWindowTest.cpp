// The steghide window driven as a user would, on stegos the real steghide 0.5.1 made: the hit of
// the passphrase it embedded with, none on the clean cover, a seed search stopped, and the saved
// payload read back; the other tools ticked tried on the same list.
#include "steghide/SteghideWindow.h"
#include "TestData.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QtTest>

#include <filesystem>

namespace vantrel {

class SteghideWindowTest : public QObject {
    Q_OBJECT

    static QString Fixture(const char* name) {
        return QStringLiteral(VANTREL_TEST_DATA "/steghide/") + QLatin1String(name);
    }

    static bool loadCover(SteghideWindow& window, const char* name) {
        QSignalSpy loaded(&window, &SteghideWindow::coverLoaded);
        window.setFileChooser([name](QWidget*, const OpenFileRequest&) {
            return std::optional<QString>(Fixture(name));
        });
        window.findChild<QPushButton*>(QStringLiteral("Browse"))->click();
        return loaded.wait(30000);
    }

    static bool click(SteghideWindow& window, const char* button) {
        QSignalSpy finished(&window, &SteghideWindow::runFinished);
        window.findChild<QPushButton*>(QLatin1String(button))->click();
        return finished.wait(30000);
    }

    // The bytes "Save Payload..." writes for the selected hit.
    static std::string SavedPayload(SteghideWindow& window) {
        const std::string saved = (std::filesystem::temp_directory_path() /
                                   ("vantrel-payload-" + std::to_string(getpid())))
                                      .string();
        window.choosePayloadPath = [&](QWidget*, const QString&) {
            return std::optional<QString>(QString::fromStdString(saved));
        };
        window.findChild<QPushButton*>(QStringLiteral("SavePayload"))->click();
        std::string bytes = testing::FileBytes(saved);
        std::filesystem::remove(saved);
        return bytes;
    }

private slots:
    void wordListFindsThePassphrase_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("passphrase"); // empty: no hit
        QTest::newRow("jpeg") << "jpeg-default.jpg"
                              << "\"vantrel\"";
        QTest::newRow("grey bmp") << "bmp8-default.bmp"
                                  << "\"greyhound\"";
        QTest::newRow("clean jpeg") << "cover.jpg"
                                    << "";
        QTest::newRow("clean bmp") << "cover24.bmp"
                                   << "";
    }
    void wordListFindsThePassphrase() {
        QFETCH(QString, file);
        QFETCH(QString, passphrase);
        SteghideWindow window;
        QVERIFY(loadCover(window, file.toUtf8().constData()));
        window.chooseWordList = [](QWidget*) {
            return std::optional<QString>(Fixture("words.txt"));
        };
        window.findChild<QPushButton*>(QStringLiteral("WordList"))->click();
        QVERIFY(click(window, "TryWordList"));
        auto* hits = window.findChild<QTableWidget*>(QStringLiteral("Hits"));
        const QString summary = window.findChild<QLabel*>(QStringLiteral("Summary"))->text();
        if (passphrase.isEmpty()) {
            QCOMPARE(hits->rowCount(), 0);
            // Says what was tried: not that the file is clean.
            // The other tools that apply are tried too and named.
            QVERIFY2(QRegularExpression(QStringLiteral("^No passphrase of the \\d+ tried opens "
                                                       "data of steghide(, \\w+)+$"))
                         .match(summary)
                         .hasMatch(),
                     qPrintable(summary));
            QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("SavePayload"))->isEnabled());
            return;
        }
        QCOMPARE(hits->rowCount(), 1);
        QCOMPARE(hits->item(0, 0)->text(), passphrase);
        QCOMPARE(hits->item(0, 1)->text(), QStringLiteral("rijndael-128"));
        QCOMPARE(hits->item(0, 4)->text(), QStringLiteral("msg.txt"));
        QCOMPARE(hits->item(0, 6)->text(), QStringLiteral("ok"));

        const std::string bytes = SavedPayload(window);
        QCOMPARE(bytes, std::string("The quick brown fox jumps over the lazy dog.\n"));
    }

    // Unencrypted data has no cipher mode to show; one hit is "1 hit", with the tools tried.
    void unencryptedHitShowsNoMode() {
        SteghideWindow window;
        QVERIFY(loadCover(window, "jpeg-none.jpg"));
        QTemporaryFile words;
        QVERIFY(words.open());
        words.write("secret\n");
        words.close();
        window.chooseWordList = [&](QWidget*) { return std::optional<QString>(words.fileName()); };
        window.findChild<QPushButton*>(QStringLiteral("WordList"))->click();
        QVERIFY(click(window, "TryWordList"));
        auto* hits = window.findChild<QTableWidget*>(QStringLiteral("Hits"));
        QCOMPARE(hits->rowCount(), 1);
        QCOMPARE(hits->item(0, 1)->text(), QStringLiteral("none"));
        QCOMPARE(hits->item(0, 2)->text(), QString());
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Summary"))->text(),
                 QStringLiteral("data of steghide, outguess, f5stegojs, stegosuite: 1 hit"));
    }

    // Every tool ticked is tried on the same list: a stegosuite stego's file found, proved and
    // saved; the tools left unticked are not tried.
    void tickedToolsAreTried() {
        SteghideWindow window;
        QVERIFY(loadCover(window, "../passwords/ss-file.bmp"));
        window.chooseWordList = [](QWidget*) {
            return std::optional<QString>(Fixture("../passwords/words.txt"));
        };
        window.findChild<QPushButton*>(QStringLiteral("WordList"))->click();
        window.findChild<QCheckBox*>(QStringLiteral("Tool_outguess"))->setChecked(false);
        QVERIFY(click(window, "TryWordList"));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Summary"))->text(),
                 QStringLiteral("data of steghide, stegosuite: 1 hit"));
        auto* hits = window.findChild<QTableWidget*>(QStringLiteral("Hits"));
        QCOMPARE(hits->item(0, 0)->text(), QStringLiteral("\"suitcase\""));
        QCOMPARE(hits->item(0, 1)->text(), QStringLiteral("stegosuite"));
        QCOMPARE(hits->item(0, 2)->text(), QStringLiteral("verified"));
        QCOMPARE(hits->item(0, 4)->text(), QStringLiteral("msg.txt"));
        const std::string bytes = SavedPayload(window);
        QCOMPARE(bytes, testing::FileBytes(VANTREL_TEST_DATA "/passwords/msg.txt"));
    }

    void stopEndsASeedSearch() {
        SteghideWindow window;
        QVERIFY(loadCover(window, "cover.jpg"));
        QSignalSpy finished(&window, &SteghideWindow::runFinished);
        window.findChild<QPushButton*>(QStringLiteral("SearchSeeds"))->click();
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("Stop"))->isEnabled());
        window.findChild<QPushButton*>(QStringLiteral("Stop"))->click();
        QVERIFY(finished.wait(30000));
        const QString summary = window.findChild<QLabel*>(QStringLiteral("Summary"))->text();
        QVERIFY2(summary.endsWith(QStringLiteral("(stopped)")), qPrintable(summary));
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("SearchSeeds"))->isEnabled());
    }

    void unreadableWordListStopsBeforeTheRun() {
        SteghideWindow window;
        QVERIFY(loadCover(window, "jpeg-default.jpg"));
        window.chooseWordList = [](QWidget*) {
            return std::optional<QString>(Fixture("no-such-list.txt"));
        };
        window.findChild<QPushButton*>(QStringLiteral("WordList"))->click();
        window.findChild<QPushButton*>(QStringLiteral("TryWordList"))->click();
        QVERIFY(!window.isRunning());
        QVERIFY2(window.lastStatus().startsWith(QStringLiteral("Cannot read the word list ")),
                 qPrintable(window.lastStatus()));
    }

    // Refused by the decoder process's reading of the header, as steghide refuses them.
    void refusedFileSaysWhy_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("others"); // another tool reads the file
        QTest::newRow("text") << "words.txt"
                              << "neither a JPEG nor a BMP" << false;
        QTest::newRow("16-bit bmp") << "cover16.bmp"
                                    << "24-bit BMPs, not 16-bit" << true;
        QTest::newRow("32-bit bmp") << "cover32.bmp"
                                    << "24-bit BMPs, not 32-bit" << true;
    }
    void refusedFileSaysWhy() {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        QFETCH(bool, others);
        SteghideWindow window;
        QVERIFY(loadCover(window, file.toUtf8().constData()));
        QVERIFY2(window.lastStatus().contains(reason), qPrintable(window.lastStatus()));
        QVERIFY(!window.lastStatus().contains(QLatin1Char('\n')));
        QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("TryWordList"))->isEnabled(),
                 others);
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("SearchSeeds"))->isEnabled());
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::SteghideWindowTest)
#include "SteghideWindowTest.moc"

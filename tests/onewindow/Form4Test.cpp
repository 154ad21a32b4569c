// Drives the one-window analysis window as a user would: files chosen through the dialog seam,
// buttons clicked, labels and pictures read back. The command-line tool is run on the same files
// and must print and draw what the window shows.
#include "onewindow/Form4.h"
#include "WindowTest.h"
#include "onewindow/LsbColumns.h"

#include <functional>

namespace vantrel {

using namespace testing;

class Form4Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString writeImage(const QString& name, int width, int height,
                       const std::function<RgbColor(int, int)>& colour) {
        return WriteImage(dir_, name, width, height, colour);
    }
    static void loadTest(Form4& form, const QString& path) {
        ChooseFile(&form, path);
        click(form, "Command2");
    }
    static void loadOriginal(Form4& form, const QString& path) {
        ChooseFile(&form, path);
        click(form, "Command6");
    }
    static void click(Form4& form, const char* name) {
        Child<QAbstractButton>(&form, name)->click();
    }
    static QString label(Form4& form, const char* name) {
        return Child<QLabel>(&form, name)->text();
    }
    static PictureBox* picture(Form4& form, const char* name) {
        return Child<PictureBox>(&form, name);
    }

    static QString runCli(const QStringList& arguments) {
        const testing::CliRun run = testing::RunCli(arguments);
        if (run.status != 0) {
            qWarning() << run.err.c_str();
            return QStringLiteral("<failed>");
        }
        return QString::fromStdString(run.out);
    }

    // Four columns, two rows: column 1 has a red LSB that the original lacks.
    QString tested() {
        return writeImage("tested.png", 4, 2,
                          [](int x, int y) { return x == 1 && y == 0 ? MakeRgb(9, 8, 8) : 0; });
    }
    QString blank(int width, int height) {
        return writeImage(QStringLiteral("blank%1x%2.png").arg(width).arg(height), width, height,
                          [](int, int) { return MakeRgb(0, 0, 0); });
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void thePlotShowsEveryRowOfItsRange() {
        Form4 form;
        QCOMPARE(picture(form, "Picture3")->surfaceWidth(), 300);
        QCOMPARE(picture(form, "Picture3")->surfaceHeight(), kPlotBottom + 1);
    }

    void calcAgainstAnOriginalOfAnotherSizeKeepsLabel2() {
        Form4 form;
        loadTest(form, tested());
        loadOriginal(form, blank(4, 2));
        click(form, "Command1");
        QCOMPARE(label(form, "Label2"), QStringLiteral("25.000%"));
        PictureBox* plot = picture(form, "Picture3");
        QCOMPARE(plot->point(1, 0), kRedCurve); // p = 1 in the odd column

        loadOriginal(form, blank(5, 2));
        click(form, "Command1");
        QCOMPARE(label(form, "Label2"), QStringLiteral("25.000%"));
        // The view and the curves were still drawn: the Diff view against the wider original.
        QCOMPARE(picture(form, "Picture2")->point(1, 0), MakeRgb(255, 0, 0));
        QCOMPARE(plot->point(1, 83), kGreenCurve); // 1 of 6 LSBs set: 83.3
    }

    void loadingATestImageClearsLabel2AndTheViewButNotThePlot() {
        // Every LSB set, two rows: green at the top, yellow (no changes) at the bottom.
        const QString allSet =
            writeImage("allset.png", 3, 2, [](int, int) { return MakeRgb(1, 1, 1); });
        // Rows alternate: half the LSBs set (green at 50), every one changes (yellow at 0).
        const QString alternating = writeImage("alternating.png", 3, 2, [](int, int y) {
            return y == 0 ? MakeRgb(1, 1, 1) : MakeRgb(0, 0, 0);
        });
        Form4 form;
        loadTest(form, allSet);
        loadOriginal(form, allSet);
        click(form, "Command1");
        QCOMPARE(label(form, "Label2"), QStringLiteral("0.000%"));
        PictureBox* plot = picture(form, "Picture3");
        PictureBox* view = picture(form, "Picture2");
        QCOMPARE(plot->point(0, 0), kGreenCurve);
        QCOMPARE(plot->point(0, 100), kRedCurve); // p = 0, drawn over the yellow point
        QCOMPARE(view->point(2, 1), MakeRgb(0, 0, 0));

        loadTest(form, alternating);
        QCOMPARE(label(form, "Label2"), QString());
        QCOMPARE(view->point(2, 1), MakeRgb(64, 64, 64));
        QCOMPARE(plot->point(0, 0), kGreenCurve);
        QCOMPARE(plot->point(0, 100), kRedCurve);

        // The second calculation draws over the first: its yellow point over the first green
        // one, its red point (X = 3 · 1/2, p = 0.5) over its own green one.
        click(form, "Command1");
        QCOMPARE(plot->point(0, 0), kYellowCurve);
        QCOMPARE(plot->point(0, 50), kRedCurve);
        QCOMPARE(plot->point(0, 100), kRedCurve); // the first calculation's point stays
        QCOMPARE(label(form, "Label2"), QStringLiteral("50.000%"));
    }

    void calcWithoutAnyFileSkipsTheChiSquaredPart() {
        Form4 form;
        click(form, "Command1");
        // The empty test picture: 300 by 300 of grey 31, every LSB set, no changes.
        PictureBox* plot = picture(form, "Picture3");
        QCOMPARE(plot->point(0, 0), kGreenCurve);
        QCOMPARE(plot->point(299, 100), kYellowCurve);
        QCOMPARE(label(form, "Label2"), QString());
        QVERIFY(form.findChild<QPushButton*>("Command1")->isEnabled());
    }

    void optionButtonsOnlyChooseTheNextView() {
        const QString test =
            writeImage("mixed.png", 2, 2, [](int x, int y) { return MakeRgb(3, 4, 5 + x + y); });
        Form4 form;
        loadTest(form, test);
        click(form, "Command1");
        PictureBox* view = picture(form, "Picture2");
        // Diff against the empty original picture: each LSB that is clear differs from it.
        QCOMPARE(view->point(0, 0), MakeRgb(0, 255, 0));
        click(form, "Option1_0");
        QCOMPARE(form.PixelOption, 0);
        QCOMPARE(view->point(0, 0), MakeRgb(0, 255, 0));
        click(form, "Command1");
        QCOMPARE(view->point(0, 0), MakeRgb(255, 0, 255));
        QCOMPARE(view->point(1, 0), MakeRgb(255, 0, 0));
    }

    void variationNeedsAColourChannel() {
        Form4 form;
        loadTest(form, tested());
        click(form, "Option1_0");
        PictureBox* view = picture(form, "Picture2");
        view->setPoint(1, 1, MakeRgb(5, 6, 7));
        const QImage before = view->surface().copy();

        QCOMPARE(AnswerMessageBox([&] { click(form, "Command4"); }),
                 QStringLiteral("Please select a variation color (Red, Green, or Blue) using the "
                                "buttons to the left.|%1|%2")
                     .arg(QMessageBox::Information)
                     .arg(QMessageBox::Ok));
        QCOMPARE(view->surface(), before);
    }

    void variationDrawsTheMapOfTheChosenChannel() {
        // Green varies (0 everywhere but 9 in one corner of the centre's block), red does not.
        const QString test = writeImage("corner.png", 3, 3, [](int x, int y) {
            return MakeRgb(40, x == 2 && y == 2 ? 9 : 0, 0);
        });
        Form4 form;
        loadTest(form, test);
        PictureBox* view = picture(form, "Picture2");
        click(form, "Option1_2");
        click(form, "Command4");
        QCOMPARE(view->point(1, 1), MakeRgb(150, 150, 150));
        QCOMPARE(view->point(0, 0), MakeRgb(64, 64, 64));
        click(form, "Option1_1");
        click(form, "Command4");
        QCOMPARE(view->point(1, 1), MakeRgb(0, 0, 0));
    }

    void psnrRunsOverTheOriginalPicture() {
        const QString original =
            writeImage("psnr-original.png", 3, 2, [](int x, int y) { return MakeRgb(x, y, 7); });
        const QString test =
            writeImage("psnr-test.png", 3, 2, [](int x, int y) { return MakeRgb(x ^ 1, y, 7); });
        Form4 form;
        loadTest(form, test);
        loadOriginal(form, original);
        click(form, "Command5");
        QCOMPARE(label(form, "Label4"), QStringLiteral("R:48.13 G:100.00 B:100.00"));
    }

    void undecodableFilesLeaveEmptyPicturesToAnalyse() {
        const QString notAnImage = QStringLiteral(VANTREL_TEST_DATA "/text.png");
        Form4 form;
        loadTest(form, notAnImage);
        loadOriginal(form, notAnImage);
        QCOMPARE(picture(form, "Picture1")->surfaceWidth(), 0);
        QCOMPARE(picture(form, "Picture4")->surfaceWidth(), 0);
        // Both pictures measure 0 by 0, so the gate lets the chi-squared part run over no
        // columns: there is no average to show.
        click(form, "Command1");
        QCOMPARE(label(form, "Label2"), QString());
        click(form, "Option1_1");
        click(form, "Command4");
        QCOMPARE(picture(form, "Picture2")->surfaceWidth(), 0);
        // An original without pixels is no perfect match, even for a test image that decoded:
        // no PSNR (the label keeps its text), and a status line says why.
        loadTest(form, tested());
        Child<QLabel>(&form, "Label4")->setText(QStringLiteral("before"));
        click(form, "Command5");
        QCOMPARE(label(form, "Label4"), QStringLiteral("before"));
        QVERIFY(form.lastStatus().startsWith(QStringLiteral("No PSNR")));
    }

    void theCommandLineShowsWhatTheWindowShows() {
        // Noise of odd sizes, so that every column and LSB differs somewhere.
        auto noise = [](unsigned seed) {
            return [seed](int x, int y) {
                unsigned v = (static_cast<unsigned>(x) * 73856093u) ^
                             (static_cast<unsigned>(y) * 19349663u) ^ seed;
                v ^= v >> 13;
                v *= 0x5bd1e995u;
                return static_cast<RgbColor>((v ^ (v >> 15)) & 0xFFFFFF);
            };
        };
        const QString test = writeImage("noise-test.png", 37, 23, noise(1));
        const QString original = writeImage("noise-original.png", 37, 23, noise(2));
        Form4 form;
        loadTest(form, test);
        loadOriginal(form, original);
        click(form, "Command1");
        click(form, "Command5");

        QCOMPARE(runCli({"psnr", original, test}).trimmed(), label(form, "Label4"));
        const QStringList lines = runCli({"lsb", test, original}).trimmed().split('\n');
        QCOMPARE(lines.size(), 38);
        QCOMPARE(lines.last(), "Chi-Squared Average Probability: " + label(form, "Label2"));
        // Column 5's points, as plotted.
        const QStringList column = lines[5].split(' ');
        QCOMPARE(column.size(), 7);
        PictureBox* plot = picture(form, "Picture3");
        QCOMPARE(plot->point(5, column[6].toInt()), kRedCurve);

        const QString viewPath = dir_.filePath("view.png");
        QCOMPARE(runCli({"view", "diff", test, original, viewPath}), QString());
        QCOMPARE(QImage(viewPath).convertToFormat(QImage::Format_RGB32),
                 picture(form, "Picture2")->surface());

        click(form, "Option1_3");
        click(form, "Command4");
        const QString variationPath = dir_.filePath("variation.png");
        QCOMPARE(runCli({"variation", "b", test, variationPath}), QString());
        QCOMPARE(QImage(variationPath).convertToFormat(QImage::Format_RGB32),
                 picture(form, "Picture2")->surface());
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::Form4Test)
#include "Form4Test.moc"

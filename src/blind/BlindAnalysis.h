#pragma once
// The blind-analysis window: one image, browsed for or dropped on the window, analysed on a
// worker thread by the four attacks; a thumbnail, the attack x channel table with the verdict,
// the chi-square p-curve along the image's height and a block map of local chi-square p.
#include "blind/BlindAttacks.h"
#include "widgets/FileAnalysisWindow.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class QLabel;
class QProgressBar;
class QTableWidget;

namespace vantrel {

class PictureBox;

class BlindAnalysis : public FileAnalysisWindow {
    Q_OBJECT

public:
    explicit BlindAnalysis(QWidget* parent = nullptr);
    ~BlindAnalysis() override;

    const BlindResult& result() const { return result_; }

public slots:
    // Decodes and analyses the file on the worker thread; the window stays live meanwhile.
    void loadFile(const QString& path) override;

signals:
    void analysisFinished();

private:
    struct Outcome;
    void showProgress(int percent);
    void showOutcome(const std::shared_ptr<Outcome>& outcome);
    void fillTable();
    void drawCurve();
    bool hasReport() const override;
    std::string reportText() const override;
    std::string reportJson() const override;

    QProgressBar* Progress = nullptr;
    QLabel* Summary = nullptr;
    PictureBox* Thumbnail = nullptr;
    PictureBox* Curve = nullptr;
    QLabel* CurveLegend = nullptr;
    PictureBox* BlockMapPicture = nullptr;
    QTableWidget* Table = nullptr;

    std::string path_;
    BlindResult result_;
    std::atomic<int> shownPercent_{0};
};

} // namespace vantrel

#pragma once
// The JPEG analysis window: one JPEG, browsed for or dropped, its coefficients read in a decoder
// process and attacked on a worker thread; quality, tables and sampling, a low mode's histogram
// with the calibrated one over it, the blocks' activity, the attack table with the verdict and
// the JSteg p-curve.
#include "jpeg/JpegCoefficients.h"
#include "jpeg/JpegVerdict.h"
#include "widgets/FileAnalysisWindow.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTableWidget;

namespace vantrel {

class PictureBox;

class JpegAnalysisWindow : public FileAnalysisWindow {
    Q_OBJECT

public:
    explicit JpegAnalysisWindow(QWidget* parent = nullptr);

    bool hasResult() const { return coefficients_ != nullptr; }
    const JpegAnalysis& analysis() const { return analysis_; }
    const JpegVerdict& verdict() const { return verdict_; }

public slots:
    void Mode_Change();
    void loadFile(const QString& path) override;

signals:
    void analysisFinished();

private:
    struct Outcome;
    void showOutcome(const std::shared_ptr<Outcome>& outcome);
    void fillTable();
    void drawHistogram();
    void drawCurve();
    bool hasReport() const override { return coefficients_ != nullptr; }
    std::string reportText() const override;
    std::string reportJson() const override;

    QLabel* Summary = nullptr;
    QLabel* Sampling = nullptr;
    QLabel* Verdict = nullptr;
    QLabel* Warning = nullptr;
    QLabel* Note = nullptr;
    QPlainTextEdit* Tables = nullptr;
    QComboBox* Mode = nullptr;
    PictureBox* Histogram = nullptr;
    PictureBox* BlockMap = nullptr;
    PictureBox* Curve = nullptr;
    QTableWidget* Table = nullptr;

    std::string path_;
    std::shared_ptr<const JpegCoefficients> coefficients_;
    JpegAnalysis analysis_;
    JpegVerdict verdict_;
};

} // namespace vantrel

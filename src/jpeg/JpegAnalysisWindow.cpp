#include "jpeg/JpegAnalysisWindow.h"

#include "jpeg/JpegFigures.h"
#include "jpeg/JpegReport.h"
#include "jpeg/LoadCoefficients.h"
#include "widgets/ChooseImageFile.h"
#include "widgets/PictureBox.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace vantrel {
namespace {

constexpr int kPictureWidth = 368;
constexpr int kPictureHeight = 200;
constexpr int kCurveHeight = 180;

const QColor kFileColour(90, 140, 255);
const QColor kCalibratedColour(240, 170, 40);

// kCalibratedModes as (row frequency, column frequency).
const char* const kModeNames[] = {"(0,1)", "(1,0)", "(2,0)", "(1,1)", "(0,2)"};

QString Number(double value, int decimals = 4) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QStringLiteral("n/a");
}

// The trailer and comment count head the tables: data hidden past EOI shows before anything else.
QString TablesText(const JpegCoefficients& jpeg) {
    QString text = QString::fromStdString(JpegTrailerText(jpeg)) + '\n';
    for (std::size_t t = 0; t < jpeg.quantTables.size(); ++t) {
        if (!jpeg.quantTablePresent[t]) {
            continue;
        }
        text += QStringLiteral("table %1\n").arg(t);
        for (int row = 0; row < 8; ++row) {
            for (int column = 0; column < 8; ++column) {
                text += QStringLiteral("%1").arg(jpeg.quantTables[t][row * 8 + column], 4);
            }
            text += '\n';
        }
    }
    return text;
}

QImage ActivityImage(const BlockActivity& map) {
    if (map.columns == 0) {
        return {};
    }
    const std::vector<std::uint8_t> grey = ActivityGreyLevels(map);
    QImage image(map.columns, map.rows, QImage::Format_Grayscale8);
    for (int row = 0; row < map.rows; ++row) {
        std::copy_n(grey.data() + static_cast<std::size_t>(row) * map.columns, map.columns,
                    image.scanLine(row));
    }
    return image.scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio, Qt::FastTransformation);
}

} // namespace

struct JpegAnalysisWindow::Outcome {
    std::string path;
    std::string error;
    std::shared_ptr<const JpegCoefficients> coefficients;
    JpegAnalysis analysis;
    JpegVerdict verdict;
    BlockActivity activity;
};

JpegAnalysisWindow::JpegAnalysisWindow(QWidget* parent) : FileAnalysisWindow(parent) {
    setObjectName(QStringLiteral("JpegAnalysis"));
    setWindowTitle(QStringLiteral("JPEG Analysis"));
    setClientSize(760, 650);

    addReportButtons(90, 90);
    const auto line = [this](const QString& name, int y) {
        QLabel* made = MakeLabel(this, name, QString(), QRect(8, y, 368, 20));
        made->setFont(ConsolasFont(9));
        made->setWordWrap(true);
        return made;
    };
    // Two rows each for the summary (a long name pushes the quality onto the second), a failure
    // in its place, the verdict and the warning.
    Summary = line(QStringLiteral("Summary"), 40);
    Summary->setGeometry(8, 40, 368, 32);
    Summary->setText(QStringLiteral("Browse for a JPEG, or drop one on this window."));
    setFailureLine(Summary);
    Sampling = line(QStringLiteral("Sampling"), 74);
    Sampling->setFont(ConsolasFont(8, false));
    Sampling->setGeometry(8, 74, 368, 18);
    Verdict = line(QStringLiteral("Verdict"), 94);
    Verdict->setGeometry(8, 94, 368, 34);
    Warning = line(QStringLiteral("Warning"), 130);
    Warning->setGeometry(8, 130, 368, 36);
    Warning->setFont(ConsolasFont(8));
    SetTextColour(Warning, kSuspiciousColour);
    Tables = new QPlainTextEdit(this);
    Tables->setObjectName(QStringLiteral("Tables"));
    Tables->setReadOnly(true);
    Tables->setFont(ConsolasFont(7, false));
    Tables->setGeometry(384, 40, 368, 126);

    Mode = new QComboBox(this);
    Mode->setObjectName(QStringLiteral("Mode"));
    Mode->setFont(ConsolasFont(8, false));
    Mode->setGeometry(8, 172, 140, 24);
    MakeLabel(this, QString(), QStringLiteral("bars file, line calibrated"),
              QRect(154, 174, 222, 20));
    MakeLabel(this, QString(),
              QStringLiteral("nonzero AC coefficients per block (first component)"),
              QRect(384, 174, 368, 20));
    const auto picture = [this](const QString& name, int x, int y, int height) {
        auto* made = new PictureBox(this);
        made->setObjectName(name);
        made->setBackground(QColor(31, 31, 31));
        made->setFramed(true);
        made->move(x, y);
        made->setSurfaceSize(kPictureWidth, height);
        return made;
    };
    Histogram = picture(QStringLiteral("Histogram"), 8, 200, kPictureHeight);
    BlockMap = picture(QStringLiteral("BlockMap"), 384, 200, kPictureHeight);
    MakeLabel(this, QString(), QStringLiteral("JSteg p by share of coefficients"),
              QRect(8, 406, 368, 20));
    Curve = picture(QStringLiteral("Curve"), 8, 428, kCurveHeight);
    Table = new QTableWidget(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setFont(ConsolasFont(8, false));
    Table->setGeometry(384, 406, 368, 208);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Table->verticalHeader()->setDefaultSectionSize(18);
    Note =
        MakeLabel(this, QStringLiteral("Note"),
                  QStringLiteral("The JSteg fraction over-estimates the embedded share, and "
                                 "reads 0 for a payload that is not random (text, unencrypted "
                                 "files). On a file compressed twice F5 is calibrated through its "
                                 "estimated first table."),
                  QRect(8, 618, 744, 28));
    Note->setWordWrap(true);
    Note->setFont(ConsolasFont(7, false));

    connect(Mode, &QComboBox::currentIndexChanged, this, &JpegAnalysisWindow::Mode_Change);
    setLeadingFormats({QStringLiteral("JPEG")});
    drawHistogram();
    drawCurve();
}

void JpegAnalysisWindow::loadFile(const QString& path) {
    beginFile(path);
    Summary->setText(QStringLiteral("Analysing %1 ...").arg(QFileInfo(path).fileName()));
    const std::string bytes = PathBytes(path);
    startRun([this, bytes](int) -> std::function<void()> {
        auto outcome = std::make_shared<Outcome>();
        outcome->path = bytes;
        Result<JpegCoefficients> jpeg = LoadJpegCoefficients(bytes);
        if (jpeg) {
            auto coefficients = std::make_shared<const JpegCoefficients>(std::move(jpeg).value());
            outcome->analysis = AnalyseJpeg(*coefficients);
            outcome->verdict = JudgeJpeg(outcome->analysis);
            if (!coefficients->components.empty()) {
                outcome->activity = NonzeroAcPerBlock(coefficients->components[0]);
            }
            outcome->coefficients = std::move(coefficients);
        } else {
            outcome->error = jpeg.error();
        }
        return [this, outcome] { showOutcome(outcome); };
    });
}

void JpegAnalysisWindow::showOutcome(const std::shared_ptr<Outcome>& outcome) {
    path_ = outcome->path;
    coefficients_ = outcome->coefficients;
    analysis_ = std::move(outcome->analysis);
    verdict_ = outcome->verdict;
    const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path_))).fileName();
    Mode->blockSignals(true);
    Mode->clear();
    if (!coefficients_) {
        for (QLabel* label : {Sampling, Verdict, Warning}) {
            label->clear();
        }
        Tables->clear();
        BlockMap->setPicture(QImage());
        reportFailure(outcome->error);
    } else {
        const JpegCoefficients& jpeg = *coefficients_;
        SetTextColour(Summary, palette().color(QPalette::WindowText));
        Summary->setText(
            QStringLiteral("%1: %2 x %3, %4, quality %5%6")
                .arg(name)
                .arg(jpeg.width)
                .arg(jpeg.height)
                .arg(jpeg.progressive ? QStringLiteral("progressive") : QStringLiteral("baseline"))
                .arg(analysis_.quality.quality)
                .arg(analysis_.quality.exact ? QString() : QStringLiteral(" (approximate)")));
        Sampling->setText(QString::fromStdString(JpegSamplingText(jpeg)));
        Verdict->setText(QString::fromStdString(verdict_.text));
        SetTextColour(Verdict, verdict_.suspicious ? kSuspiciousColour : kCleanColour);
        QStringList states;
        for (const auto& [name, state] :
             {std::pair{"JSteg", &verdict_.jstegState}, std::pair{"F5", &verdict_.f5State}}) {
            if (!state->ok()) {
                states << QStringLiteral("%1: %2").arg(name,
                                                       QString::fromStdString(StateLine(*state)));
            }
        }
        Warning->setText(states.join(QLatin1Char('\n')));
        Tables->setPlainText(TablesText(jpeg));
        BlockMap->setPicture(ActivityImage(outcome->activity));
        static const char* const kComponents[] = {"Y", "Cb", "Cr", "K"};
        for (std::size_t c = 0; c < analysis_.f5.components.size(); ++c) {
            if (analysis_.f5.components[c].calibratedBlocks == 0) {
                continue;
            }
            for (int slot = 0; slot < static_cast<int>(kCalibratedModes.size()); ++slot) {
                Mode->addItem(QStringLiteral("%1 mode %2")
                                  .arg(QString::fromLatin1(c < 4 ? kComponents[c] : "?"))
                                  .arg(QString::fromLatin1(kModeNames[slot])),
                              QPoint(static_cast<int>(c), slot));
            }
        }
        reportStatus(QStringLiteral("JPEG analysis of %1: %2")
                         .arg(name, QString::fromStdString(verdict_.text)));
    }
    Mode->blockSignals(false);
    fillTable();
    drawHistogram();
    drawCurve();
    updateReportButtons();
    emit analysisFinished();
}

void JpegAnalysisWindow::Mode_Change() {
    drawHistogram();
}

void JpegAnalysisWindow::fillTable() {
    Table->clear();
    Table->setColumnCount(1);
    Table->setHorizontalHeaderItem(0, new QTableWidgetItem(QStringLiteral("value")));
    if (!coefficients_) {
        Table->setRowCount(0);
        return;
    }
    std::vector<std::pair<QString, QString>> rows;
    const char* pairings[] = {"twos", "magnitude"};
    const char* scopes[] = {"Y", "all"};
    for (std::size_t p = 0; p < 2; ++p) {
        for (std::size_t s = 0; s < 2; ++s) {
            const JstegChiSquare& a = analysis_.jsteg[p][s];
            rows.emplace_back(
                QStringLiteral("JSteg %1 %2").arg(pairings[p], scopes[s]),
                QStringLiteral("fraction %1, p %2").arg(Number(a.fraction, 2), Number(a.pWhole)));
        }
    }
    for (std::size_t c = 0; c < analysis_.f5.components.size(); ++c) {
        const F5ComponentEstimate& component = analysis_.f5.components[c];
        rows.emplace_back(QStringLiteral("F5 beta, component %1").arg(c),
                          component.calibratedBlocks == 0 ? QStringLiteral("too small")
                                                          : Number(component.beta));
    }
    rows.emplace_back(QStringLiteral("compressed twice"),
                      QStringLiteral("%1 (residual %2)")
                          .arg(analysis_.doubleCompression.detected ? QStringLiteral("yes")
                                                                    : QStringLiteral("no"))
                          .arg(Number(analysis_.doubleCompression.residual, 3)));
    rows.emplace_back(QStringLiteral("verdict"),
                      verdict_.suspicious ? QStringLiteral("suspicious") : QStringLiteral("clean"));
    Table->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < Table->rowCount(); ++row) {
        Table->setVerticalHeaderItem(row, new QTableWidgetItem(rows[row].first));
        auto* item = new QTableWidgetItem(rows[row].second);
        item->setTextAlignment(Qt::AlignCenter);
        Table->setItem(row, 0, item);
    }
    const auto mark = [this](int row, bool over) {
        if (over) {
            Table->item(row, 0)->setForeground(kSuspiciousColour);
        }
    };
    for (int row = 0; row < 4; ++row) {
        mark(row, analysis_.jsteg[row / 2][row % 2].fraction > kJstegSuspiciousFraction);
    }
    mark(4, verdict_.f5Suspicious);
    QTableWidgetItem* last = Table->item(Table->rowCount() - 1, 0);
    last->setBackground(verdict_.suspicious ? kSuspiciousColour : kCleanColour);
    last->setForeground(Qt::white);
}

// Bars of the file's counts of |coef| = 0..15 at the chosen mode, the calibrated counts as a
// line over them; square-root heights, so that the tail beside the zeros stays readable.
void JpegAnalysisWindow::drawHistogram() {
    Histogram->clear();
    if (coefficients_ && Mode->currentIndex() >= 0) {
        const QPoint choice = Mode->currentData().toPoint();
        const F5ComponentEstimate& component =
            analysis_.f5.components[static_cast<std::size_t>(choice.x())];
        const ModeHistogram& file = component.fileHistograms[static_cast<std::size_t>(choice.y())];
        const ModeHistogram& calibrated =
            component.calibratedHistograms[static_cast<std::size_t>(choice.y())];
        QImage& surface = Histogram->surface();
        QPainter painter(&surface);
        painter.setRenderHint(QPainter::Antialiasing);
        const double top =
            std::sqrt(std::max({1.0, *std::max_element(file.begin(), file.end()),
                                *std::max_element(calibrated.begin(), calibrated.end())}));
        const double bin = (surface.width() - 8) / double(kCalibratedBins);
        const double base = surface.height() - 16;
        const auto height = [&](double count) {
            return std::sqrt(std::max(0.0, count)) / top * (base - 6);
        };
        painter.setFont(ConsolasFont(7, false));
        QPolygonF line;
        for (int d = 0; d < kCalibratedBins; ++d) {
            const double x = 4 + d * bin;
            painter.fillRect(QRectF(x + 1, base - height(file[d]), bin - 2, height(file[d])),
                             kFileColour);
            line << QPointF(x + bin / 2, base - height(calibrated[d]));
            painter.setPen(QColor(170, 170, 170));
            painter.drawText(QRectF(x, base + 1, bin, 14), Qt::AlignHCenter, QString::number(d));
        }
        painter.setPen(QPen(kCalibratedColour, 2));
        painter.drawPolyline(line);
        painter.end();
    }
    Histogram->refresh();
}

// p of each growing share of the usable coefficients, share across and p up, for both pairings
// and scopes; the dashed line is p = 0.5, where the fraction is read.
void JpegAnalysisWindow::drawCurve() {
    Curve->clear();
    QImage& surface = Curve->surface();
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::Antialiasing);
    const double width = surface.width() - 8;
    const double height = surface.height() - 20;
    painter.setPen(QPen(QColor(110, 110, 110), 1, Qt::DashLine));
    painter.drawLine(QPointF(4, 4 + height / 2), QPointF(4 + width, 4 + height / 2));
    painter.setFont(ConsolasFont(7, false));
    const QColor colours[2][2] = {{QColor(220, 220, 220), QColor(90, 140, 255)},
                                  {kCalibratedColour, QColor(80, 200, 90)}};
    const char* names[2][2] = {{"twos Y", "twos all"}, {"magnitude Y", "magnitude all"}};
    if (coefficients_) {
        for (int p = 0; p < 2; ++p) {
            for (int s = 0; s < 2; ++s) {
                QPolygonF line;
                for (int k = 0; k < kJstegCurvePoints; ++k) {
                    const double value = analysis_.jsteg[p][s].curve[static_cast<std::size_t>(k)];
                    if (std::isfinite(value)) {
                        line << QPointF(4 + (k + 1) * width / kJstegCurvePoints,
                                        4 + (1 - value) * height);
                    }
                }
                painter.setPen(QPen(colours[p][s], 1.5));
                painter.drawPolyline(line);
                painter.drawText(QRectF(4 + (p * 2 + s) * width / 4, height + 6, width / 4, 14),
                                 Qt::AlignHCenter, QString::fromLatin1(names[p][s]));
            }
        }
    }
    painter.end();
    Curve->refresh();
}

std::string JpegAnalysisWindow::reportText() const {
    return JpegReportText(path_, *coefficients_, analysis_, verdict_);
}

std::string JpegAnalysisWindow::reportJson() const {
    return JpegReportJson(path_, *coefficients_, analysis_, verdict_);
}

} // namespace vantrel

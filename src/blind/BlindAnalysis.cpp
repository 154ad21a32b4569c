#include "blind/BlindAnalysis.h"

#include "blind/BlindFile.h"
#include "blind/BlindReport.h"
#include "image/ImageLoading.h"
#include "jpeg/LoadCoefficients.h"
#include "widgets/ChooseImageFile.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTableWidget>

#include <cmath>

namespace vantrel {
namespace {

constexpr int kPictureSide = 256;
constexpr int kCurveWidth = 160;
// The curve keeps clear of the picture's frame: p = 0 and p = 1 lie inside it, not on it.
constexpr double kCurveInset = 6;
constexpr int kLegendHeight = 18;
const QColor kLegendGround(31, 31, 31);
const QColor kLegendText(200, 200, 200);

const QColor kNotApplicable(130, 130, 130);

QColor ChannelColour(const std::string& name) {
    if (name == "R") {
        return QColor(230, 70, 70);
    }
    if (name == "G") {
        return QColor(80, 200, 90);
    }
    if (name == "B") {
        return QColor(90, 140, 255);
    }
    return QColor(220, 220, 220);
}

// The JSteg curves of a JPEG: luminance, and all components.
QColor JstegColour(std::size_t scope) {
    return scope == 0 ? QColor(220, 220, 220) : QColor(230, 190, 60);
}

// Dark blue where the LSBs look like a cover's (p near 0), through yellow, to red where they look
// random (p near 1); grey where the block had too few samples for a test.
QRgb BlockColour(double p) {
    if (p < 0) {
        return qRgb(80, 80, 80);
    }
    const auto mix = [](int a, int b, double t) { return int(a + (b - a) * t + 0.5); };
    if (p < 0.5) {
        const double t = p / 0.5;
        return qRgb(mix(20, 240, t), mix(30, 210, t), mix(110, 60, t));
    }
    const double t = (p - 0.5) / 0.5;
    return qRgb(mix(240, 210, t), mix(210, 20, t), mix(60, 20, t));
}

QImage BlockMapImage(const BlockMap& map) {
    QImage image(std::max(map.columns, 1), std::max(map.rows, 1), QImage::Format_RGB32);
    image.fill(qRgb(80, 80, 80));
    for (int row = 0; row < map.rows; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        const double* p = map.p.data() + static_cast<std::size_t>(row) * map.columns;
        for (int column = 0; column < map.columns; ++column) {
            line[column] = BlockColour(p[column]);
        }
    }
    return image;
}

QString DisplayPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// A short line of `colour` and its name, one after another.
QPixmap LineLegend(const std::vector<std::pair<QString, QColor>>& entries, int width) {
    QPixmap legend(width, kLegendHeight);
    legend.fill(kLegendGround);
    QPainter painter(&legend);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(ConsolasFont(7.5, false));
    int x = 4;
    for (const auto& [name, colour] : entries) {
        painter.setPen(QPen(colour, 2.5));
        painter.drawLine(QPointF(x, kLegendHeight / 2.0), QPointF(x + 14, kLegendHeight / 2.0));
        painter.setPen(kLegendText);
        const int textWidth = painter.fontMetrics().horizontalAdvance(name);
        painter.drawText(QRect(x + 17, 0, textWidth + 1, kLegendHeight), Qt::AlignVCenter, name);
        x += 17 + textWidth + 10;
    }
    return legend;
}

// The block map's colours from p 0 to p 1, and the grey of a block too small to test.
QPixmap MapLegend(int width) {
    QPixmap legend(width, kLegendHeight);
    legend.fill(kLegendGround);
    QPainter painter(&legend);
    painter.setFont(ConsolasFont(7.5, false));
    const int barLeft = painter.fontMetrics().horizontalAdvance(QStringLiteral("p 0 ")) + 6;
    const int barWidth = 100;
    painter.setPen(kLegendText);
    painter.drawText(QRect(4, 0, barLeft, kLegendHeight), Qt::AlignVCenter, QStringLiteral("p 0"));
    for (int x = 0; x < barWidth; ++x) {
        painter.setPen(QColor(BlockColour(x / double(barWidth - 1))));
        painter.drawLine(barLeft + x, 4, barLeft + x, kLegendHeight - 4);
    }
    painter.setPen(kLegendText);
    painter.drawText(QRect(barLeft + barWidth + 4, 0, width, kLegendHeight), Qt::AlignVCenter,
                     QStringLiteral("1"));
    const int greyLeft = barLeft + barWidth + 22;
    painter.fillRect(QRect(greyLeft, 4, 14, kLegendHeight - 8), QColor(BlockColour(-1)));
    painter.drawText(QRect(greyLeft + 18, 0, width, kLegendHeight), Qt::AlignVCenter,
                     QStringLiteral("too few samples"));
    return legend;
}

} // namespace

struct BlindAnalysis::Outcome {
    std::string path;
    std::string error;
    BlindResult result;
    BlockMap map;
    BitmapHandle thumbnail;
};

BlindAnalysis::BlindAnalysis(QWidget* parent) : FileAnalysisWindow(parent) {
    setObjectName(QStringLiteral("BlindAnalysis"));
    setWindowTitle(QStringLiteral("Blind Analysis"));
    setClientSize(712, 572 + kLegendHeight);

    addReportButtons(90, 90);
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setGeometry(340, 10, 364, 22);
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Summary = new QLabel(QStringLiteral("Browse for an image, or drop one on this window."), this);
    Summary->setObjectName(QStringLiteral("Summary"));
    Summary->setFont(ConsolasFont(9));
    Summary->setGeometry(8, 40, 696, 20);
    setFailureLine(Summary);

    const auto picture = [this](const QString& name, int x, int width) {
        auto* made = new PictureBox(this);
        made->setObjectName(name);
        made->setBackground(QColor(31, 31, 31));
        made->setFramed(true);
        made->move(x, 66);
        made->setSurfaceSize(width, kPictureSide);
        return made;
    };
    Thumbnail = picture(QStringLiteral("Thumbnail"), 8, kPictureSide);
    Curve = picture(QStringLiteral("Curve"), 272, kCurveWidth);
    BlockMapPicture = picture(QStringLiteral("BlockMap"), 440, kPictureSide);
    const auto caption = [this](const QString& text, int x, int width) {
        MakeLabel(this, QString(), text, QRect(x, 328, width, 18));
    };
    caption(QStringLiteral("Image"), 8, 260);
    caption(QStringLiteral("chi-square p by row"), 272, 164);
    caption(QStringLiteral("local chi-square p"), 440, 264);
    CurveLegend = new QLabel(this);
    CurveLegend->setObjectName(QStringLiteral("CurveLegend"));
    CurveLegend->setGeometry(272, 346, 164, kLegendHeight);
    auto* mapLegend = new QLabel(this);
    mapLegend->setObjectName(QStringLiteral("MapLegend"));
    mapLegend->setGeometry(440, 346, 264, kLegendHeight);
    mapLegend->setPixmap(MapLegend(264));

    Table = new QTableWidget(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setFont(ConsolasFont(9, false));
    Table->setGeometry(8, 350 + kLegendHeight, 696, 214);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Table->verticalHeader()->setDefaultSectionSize(30);

    drawCurve();
}

BlindAnalysis::~BlindAnalysis() {
    stopWork(); // the run reports progress through shownPercent_
}

bool BlindAnalysis::hasReport() const {
    return !result_.channels.empty() || result_.jpeg;
}

void BlindAnalysis::loadFile(const QString& path) {
    beginFile(path);
    Progress->setValue(0);
    Summary->setText(QStringLiteral("Analysing %1 ...").arg(QFileInfo(path).fileName()));
    const std::string bytes = PathBytes(path);
    startRun([this, bytes](int run) -> std::function<void()> {
        auto outcome = std::make_shared<Outcome>();
        outcome->path = bytes;
        const auto shown = [this, outcome] { showOutcome(outcome); };
        if (HasJpegSignature(bytes)) {
            Result<BlindResult> jpeg = AnalyseJpegFile(bytes);
            if (jpeg) {
                outcome->result = std::move(jpeg).value();
                // The picture is only shown: a JPEG whose pixels do not decode keeps its verdict.
                if (const Result<BitmapHandle> bitmap = LoadImageFile(bytes)) {
                    outcome->thumbnail = FitLongSide(bitmap->get(), kPictureSide);
                }
            } else {
                outcome->error = jpeg.error();
            }
            return shown;
        }
        const Result<BitmapHandle> bitmap = LoadImageFile(bytes);
        if (!bitmap) {
            outcome->error = bitmap.error();
        } else {
            const Result<ImageSamples> samples = SamplesOf(ViewOfBitmap(bitmap->get()));
            BlindOptions options;
            options.cancel = cancelFlag();
            options.progress = [this, run](double share) {
                const int percent = static_cast<int>(share * 95);
                if (percent > shownPercent_.exchange(percent)) {
                    postToRun(run, [this, percent] { showProgress(percent); });
                }
            };
            shownPercent_ = 0;
            if (!samples) {
                outcome->error = samples.error();
            } else {
                outcome->result = AnalyseSamples(*samples, options);
                AddTransparentLsbs(outcome->result, ViewOfBitmap(bitmap->get()));
                if (!outcome->result.cancelled) {
                    outcome->map =
                        ChiSquareBlockMap(*samples, BlockSideFor(samples->width, samples->height));
                    outcome->thumbnail = FitLongSide(bitmap->get(), kPictureSide);
                }
            }
        }
        return shown;
    });
}

void BlindAnalysis::showProgress(int percent) {
    Progress->setValue(percent);
}

void BlindAnalysis::showOutcome(const std::shared_ptr<Outcome>& outcome) {
    if (outcome->result.cancelled) {
        return;
    }
    Progress->setValue(100);
    path_ = outcome->path;
    if (!outcome->error.empty()) {
        result_ = {};
        reportFailure(outcome->error);
        Thumbnail->setPicture(QImage());
        BlockMapPicture->setPicture(QImage());
        fillTable();
        drawCurve();
        updateReportButtons();
        emit analysisFinished();
        return;
    }
    result_ = std::move(outcome->result);
    const QImage thumbnail = BitmapToPicture(std::move(outcome->thumbnail));
    Thumbnail->setPicture(thumbnail);
    // A JPEG has no pixel LSB map: its block map stays empty.
    BlockMapPicture->setPicture(result_.jpeg ? QImage()
                                             : BlockMapImage(outcome->map)
                                                   .scaled(thumbnail.size(), Qt::IgnoreAspectRatio,
                                                           Qt::FastTransformation));
    const QString verdict = QString::fromStdString(BlindVerdictLine(result_));
    Summary->setText(QStringLiteral("%1: %2 x %3, %4")
                         .arg(QFileInfo(DisplayPath(path_)).fileName())
                         .arg(result_.width)
                         .arg(result_.height)
                         .arg((result_.jpeg ? QStringLiteral("JPEG, ") : QString()) + verdict));
    // The line may be longer than the window is wide.
    Summary->setToolTip(verdict);
    SetTextColour(Summary, result_.suspicious                       ? kSuspiciousColour
                           : verdict.startsWith(QLatin1String("n")) ? kNotApplicable
                                                                    : kCleanColour);
    fillTable();
    drawCurve();
    updateReportButtons();
    reportStatus(QStringLiteral("Blind analysis of %1: %2").arg(DisplayPath(path_), verdict));
    emit analysisFinished();
}

void BlindAnalysis::fillTable() {
    static const char* const kRows[] = {"chi-square p", "fraction", "RS", "SPA", "WS", "verdict"};
    Table->clear();
    // A JPEG's ten rows fit the table's height only closer together than the channels' six.
    Table->verticalHeader()->setDefaultSectionSize(result_.jpeg ? 18 : 30);
    if (result_.jpeg) {
        const auto rows = JpegBlindRows(*result_.jpeg);
        Table->setRowCount(static_cast<int>(rows.size()));
        Table->setColumnCount(1);
        // The verdict's line heads the column: the summary above has no room for it.
        Table->setHorizontalHeaderItem(
            0, new QTableWidgetItem(QString::fromStdString(result_.jpeg->verdict.text)));
        for (int row = 0; row < Table->rowCount(); ++row) {
            const auto& [label, value] = rows[static_cast<std::size_t>(row)];
            Table->setVerticalHeaderItem(row, new QTableWidgetItem(QString::fromStdString(label)));
            auto* item = new QTableWidgetItem(QString::fromStdString(value));
            item->setTextAlignment(Qt::AlignCenter);
            if (value == kNotApplicableToJpeg) {
                item->setForeground(QColor(130, 130, 130));
            } else if (value.ends_with("(suspicious)")) {
                item->setForeground(kSuspiciousColour);
            }
            if (row + 1 == Table->rowCount()) {
                item->setBackground(result_.suspicious ? kSuspiciousColour : kCleanColour);
                item->setForeground(Qt::white);
            }
            Table->setItem(row, 0, item);
        }
        return;
    }
    Table->setRowCount(6);
    Table->setColumnCount(static_cast<int>(result_.channels.size()));
    for (int row = 0; row < 6; ++row) {
        Table->setVerticalHeaderItem(row, new QTableWidgetItem(QString::fromLatin1(kRows[row])));
    }
    for (int column = 0; column < Table->columnCount(); ++column) {
        const ChannelResult& c = result_.channels[static_cast<std::size_t>(column)];
        Table->setHorizontalHeaderItem(column,
                                       new QTableWidgetItem(QString::fromStdString(c.name)));
        const FiguresOver over = FiguresFlagged(c);
        const struct {
            double value;
            AttackStatus status;
            const Judgement& judgement;
            bool over;
        } cells[] = {{c.chiSquare.p, c.chiSquare.status, c.chiSquare.judgement, over.chiSquare},
                     {c.chiSquare.fraction, c.chiSquare.status, c.chiSquare.judgement, false},
                     {c.rs.rate, c.rs.status, c.rs.judgement, over.rs},
                     {c.spa.rate, c.spa.status, c.spa.judgement, over.spa},
                     {c.ws.rate, c.ws.status, c.ws.judgement, over.ws}};
        bool anyApplies = false;
        for (int row = 0; row < 5; ++row) {
            const Judgement& judgement = cells[row].judgement;
            auto* item = new QTableWidgetItem(
                QString::fromStdString(JudgedCell(cells[row].value, cells[row].status, judgement)));
            item->setTextAlignment(Qt::AlignCenter);
            if (cells[row].over) {
                item->setForeground(kSuspiciousColour);
            } else if (!judgement.state.ok()) {
                item->setForeground(QColor(130, 130, 130));
                item->setToolTip(QString::fromStdString(StateLine(judgement.state)));
            }
            anyApplies = anyApplies || judgement.state.ok();
            Table->setItem(row, column, item);
        }
        // The one line of a channel no attack can judge: why, instead of a verdict.
        auto* verdict = new QTableWidgetItem(c.suspicious ? QStringLiteral("suspicious")
                                             : anyApplies ? QStringLiteral("clean")
                                                          : QStringLiteral("not applicable"));
        verdict->setToolTip(QString::fromStdString(ChannelStateLine(c)));
        verdict->setTextAlignment(Qt::AlignCenter);
        verdict->setBackground(c.suspicious ? kSuspiciousColour
                               : anyApplies ? kCleanColour
                                            : QColor(130, 130, 130));
        verdict->setForeground(Qt::white);
        Table->setItem(5, column, verdict);
    }
}

// The p of each prefix against how far down the image it reaches: p across, rows down, level
// with the thumbnail beside it. Dashed lines mark p = 0.5 and the verdict's 0.99.
void BlindAnalysis::drawCurve() {
    Curve->clear();
    QImage& surface = Curve->surface();
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::Antialiasing);
    const double width = surface.width() - 2 * kCurveInset;
    const int height = Thumbnail->hasPicture() ? Thumbnail->picture().height() : surface.height();
    const auto across = [width](double p) { return kCurveInset + p * width; };
    painter.setPen(QPen(QColor(110, 110, 110), 1, Qt::DashLine));
    for (const double p : {0.5, 0.99}) {
        painter.drawLine(QPointF(across(p), 0), QPointF(across(p), height));
    }
    painter.setPen(QColor(170, 170, 170));
    painter.setFont(ConsolasFont(7, false));
    const QRectF scale(2, height + 2, surface.width() - 4, 14);
    painter.drawText(scale, Qt::AlignLeft, QStringLiteral("p 0"));
    painter.drawText(scale, Qt::AlignHCenter, QStringLiteral("0.5"));
    painter.drawText(scale, Qt::AlignRight, QStringLiteral("1"));
    if (result_.jpeg) {
        // The JSteg p of growing shares of the coefficients in scan order, which runs down the
        // picture as the rows do: luminance and all components, the two's-complement pairing.
        const auto& jsteg = result_.jpeg->analysis.jsteg[0];
        for (std::size_t scope = 0; scope < jsteg.size(); ++scope) {
            QPolygonF line;
            for (int k = 0; k < kJstegCurvePoints; ++k) {
                const double p = jsteg[scope].curve[static_cast<std::size_t>(k)];
                if (std::isfinite(p)) {
                    line << QPointF(across(p), (k + 1) * height / double(kJstegCurvePoints));
                }
            }
            painter.setPen(QPen(JstegColour(scope), 1.5));
            painter.drawPolyline(line);
        }
    }
    std::vector<std::pair<QString, QColor>> legend;
    if (result_.jpeg) {
        legend = {{QStringLiteral("JSteg Y"), JstegColour(0)},
                  {QStringLiteral("all"), JstegColour(1)}};
    }
    for (const ChannelResult& channel : result_.channels) {
        if (channel.chiSquare.status != AttackStatus::Ok) {
            continue;
        }
        QPolygonF line;
        for (int k = 0; k < kCurvePoints; ++k) {
            line << QPointF(across(channel.chiSquare.curve[static_cast<std::size_t>(k)]),
                            (k + 1) * height / double(kCurvePoints));
        }
        painter.setPen(QPen(ChannelColour(channel.name), 1.5));
        painter.drawPolyline(line);
        legend.emplace_back(QString::fromStdString(channel.name), ChannelColour(channel.name));
    }
    painter.end();
    Curve->refresh();
    CurveLegend->setPixmap(LineLegend(legend, CurveLegend->width()));
}

std::string BlindAnalysis::reportText() const {
    return BlindText(path_, result_);
}

std::string BlindAnalysis::reportJson() const {
    return BlindJson(path_, result_);
}

} // namespace vantrel

#include "extract/BitExtraction.h"

#include "extract/ExtractLoading.h"
#include "extract/JstegLayouts.h"
#include "extract/PayloadScan.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

namespace vantrel {

namespace {

// A control named for findChild, at its place in pixels.
template <class Control> Control* Placed(Control* control, const char* name, const QRect& place) {
    control->setObjectName(name);
    control->setGeometry(place);
    return control;
}

constexpr std::size_t kShownBytes = 4096;

QString HexAndText(const std::vector<std::uint8_t>& bytes, std::uint64_t firstOffset) {
    QString text;
    for (std::size_t line = 0; line < bytes.size(); line += 16) {
        text += QString("%1  ").arg(firstOffset + line, 8, 16, QChar('0'));
        QString printable;
        for (std::size_t i = line; i < line + 16; ++i) {
            if (i < bytes.size()) {
                text += QString("%1 ").arg(bytes[i], 2, 16, QChar('0'));
                printable += bytes[i] >= 0x20 && bytes[i] < 0x7F ? QChar(bytes[i]) : QChar('.');
            } else {
                text += "   ";
            }
        }
        text += ' ' + printable + '\n';
    }
    return text;
}

QString Preview(const std::vector<std::uint8_t>& payload) {
    QString preview;
    for (std::size_t i = 0; i < payload.size() && i < 40; ++i) {
        preview += payload[i] >= 0x20 && payload[i] < 0x7F ? QChar(payload[i]) : QChar('.');
    }
    return preview;
}

} // namespace

BitExtraction::BitExtraction(QWidget* parent) : FileAnalysisWindow(parent) {
    setWindowTitle("Bit Extraction");
    const QFont fixed = ConsolasFont(9, false);

    Browse = Placed(new QPushButton("Browse...", this), "Browse", {8, 8, 90, 26});
    FileLabel = Placed(new QLabel("Choose an image, or drop one here.", this), "FileLabel",
                       {108, 8, 780, 26});
    setFailureLine(FileLabel);

    auto caption = [this](const char* text, int x) {
        auto* label = new QLabel(text, this);
        label->setGeometry(x, 44, 90, 22);
    };
    caption("Bits", 8);
    Bits = Placed(new QComboBox(this), "Bits", {8, 66, 70, 26});
    for (int n = 1; n <= 8; ++n) {
        Bits->addItem(QString("b%1").arg(n));
    }
    caption("Channels", 88);
    Channels = Placed(new QLineEdit("rgb", this), "Channels", {88, 66, 70, 26});
    caption("Bit packing", 168);
    Packing = Placed(new QComboBox(this), "Packing", {168, 66, 70, 26});
    Packing->addItems({"lsb", "msb"});
    caption("Pixel order", 248);
    Order = Placed(new QComboBox(this), "Order", {248, 66, 70, 26});
    Order->addItems({"xy", "Xy", "xY", "XY", "yx", "Yx", "yX", "YX"});
    Prime = Placed(new QCheckBox("prime", this), "Prime", {330, 66, 70, 26});
    caption("Layout", 410);
    LayoutText = Placed(new QLineEdit("b1,rgb,lsb,xy", this), "LayoutText", {410, 66, 230, 26});
    LayoutText->setFont(fixed);

    HexView = Placed(new QPlainTextEdit(this), "HexView", {8, 100, 600, 480});
    HexView->setReadOnly(true);
    HexView->setFont(fixed);
    HexView->setLineWrapMode(QPlainTextEdit::NoWrap);

    Scan = Placed(new QPushButton("Scan All Layouts", this), "Scan", {620, 100, 140, 28});
    ScanPrime = Placed(new QCheckBox("with prime", this), "ScanPrime", {770, 100, 110, 28});
    // Raw readings (what libmagic names in any run of bytes) are many and mostly noise: they
    // wait behind this box so the real findings stand out.
    ShowRaw = Placed(new QCheckBox("Show raw readings", this), "ShowRaw", {900, 100, 200, 28});
    Progress = Placed(new QProgressBar(this), "Progress", {620, 134, 260, 20});
    Progress->setRange(0, 1000);
    Progress->setValue(0);
    Findings = Placed(new QTableWidget(0, 4, this), "Findings", {620, 160, 480, 384});
    Findings->setHorizontalHeaderLabels({"Layout", "Tier", "What", "Preview"});
    Findings->setSelectionBehavior(QAbstractItemView::SelectRows);
    Findings->setSelectionMode(QAbstractItemView::SingleSelection);
    Findings->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Findings->verticalHeader()->setVisible(false);
    Findings->horizontalHeader()->setStretchLastSection(true);
    Findings->setColumnWidth(0, 120);
    Findings->setColumnWidth(1, 50);
    Findings->setColumnWidth(2, 200);
    Summary = Placed(new QLabel(this), "Summary", {620, 550, 330, 28});
    Save = Placed(new QPushButton("Save Payload...", this), "Save", {960, 550, 140, 28});

    connect(Browse, &QPushButton::clicked, this, &BitExtraction::Browse_Click);
    connect(Scan, &QPushButton::clicked, this, &BitExtraction::Scan_Click);
    connect(Save, &QPushButton::clicked, this, &BitExtraction::Save_Click);
    connect(Findings, &QTableWidget::cellClicked, this, &BitExtraction::Findings_Click);
    connect(ShowRaw, &QCheckBox::toggled, this, &BitExtraction::showRawRows);
    connect(Bits, &QComboBox::currentIndexChanged, this, &BitExtraction::controlsChanged);
    connect(Packing, &QComboBox::currentIndexChanged, this, &BitExtraction::controlsChanged);
    connect(Order, &QComboBox::currentIndexChanged, this, &BitExtraction::controlsChanged);
    connect(Prime, &QCheckBox::toggled, this, &BitExtraction::controlsChanged);
    connect(Channels, &QLineEdit::textEdited, this, &BitExtraction::controlsChanged);
    connect(LayoutText, &QLineEdit::returnPressed, this, &BitExtraction::layoutTextEntered);
    setClientSize(1108, 588);
}

BitExtraction::~BitExtraction() = default;

void BitExtraction::loadFile(const QString& path) {
    // A load replaces a scan going; the image shown stays until the new one has arrived.
    scanning_ = false;
    Scan->setEnabled(true);
    Browse->setEnabled(true);
    beginFile(path);
    startRun([this, path](int) -> std::function<void()> {
        Result<extract::ExtractionImage> loaded = extract::LoadImageForExtraction(PathBytes(path));
        if (!loaded) {
            return [this, error = loaded.error()] { reportFailure(error); };
        }
        auto image = std::make_shared<const extract::ExtractionImage>(std::move(*loaded));
        return [this, path, image] { fileRead(path, image); };
    });
}

void BitExtraction::fileRead(const QString& path,
                             std::shared_ptr<const extract::ExtractionImage> image) {
    image_ = std::move(image);
    path_ = PathBytes(path);
    const extract::SampleImage& samples = image_->samples;
    found_.clear();
    Findings->setRowCount(0);
    Progress->setValue(0);
    Summary->clear();
    FileLabel->setText(
        QString("%1  (%2 x %3)").arg(path).arg(samples.width()).arg(samples.height()));
    showBytes();
    emit fileLoaded();
}

std::optional<extract::Layout> BitExtraction::currentLayout() const {
    return extract::ParseLayout(LayoutText->text().toStdString()).layout;
}

void BitExtraction::controlsChanged() {
    if (updating_) {
        return;
    }
    QString text = QString("b%1,%2,%3,%4")
                       .arg(Bits->currentIndex() + 1)
                       .arg(Channels->text(), Packing->currentText(), Order->currentText());
    if (Prime->isChecked()) {
        text += ",prime";
    }
    LayoutText->setText(text);
    showBytes();
}

void BitExtraction::layoutTextEntered() {
    const extract::LayoutParse parsed = extract::ParseLayout(LayoutText->text().toStdString());
    if (!parsed.layout) {
        reportFailure(parsed.error);
        return;
    }
    showLayout(*parsed.layout);
}

void BitExtraction::showLayout(const extract::Layout& layout) {
    updating_ = true;
    Bits->setCurrentIndex(std::max(0, layout.bitsPerSample() - 1));
    QString channels;
    for (const extract::Channel channel : layout.channels) {
        channels += extract::ChannelLetter(channel);
    }
    Channels->setText(channels);
    Packing->setCurrentIndex(layout.msbFirstBitLow ? 1 : 0);
    Order->setCurrentIndex(static_cast<int>(layout.order));
    Prime->setChecked(layout.prime);
    LayoutText->setText(QString::fromStdString(extract::ToText(layout)));
    updating_ = false;
    showBytes();
}

void BitExtraction::showBytes() {
    const std::optional<extract::Layout> layout = currentLayout();
    if (!layout) {
        HexView->setPlainText("Not a layout: b<n>,<channels>,<lsb|msb>,<order>[,prime]");
        return;
    }
    if (!image_) {
        HexView->clear();
        return;
    }
    extract::LayoutReader reader(image_->samples, *layout);
    const std::vector<std::uint8_t> bytes = reader.read(kShownBytes);
    HexView->setPlainText(bytes.empty() ? QString("The image holds no whole byte in this layout.")
                                        : HexAndText(bytes, 0));
}

void BitExtraction::Scan_Click() {
    if (!image_ || isScanning()) {
        return;
    }
    scanning_ = true;
    Findings->setRowCount(0);
    found_.clear();
    Summary->setText("Scanning...");
    Progress->setValue(0);
    Scan->setEnabled(false);
    Browse->setEnabled(false);
    startRun([this, prime = ScanPrime->isChecked(), image = image_, path = path_](int run) {
        extract::ScanOptions options;
        options.prime = prime;
        options.progress = [this, run](double done) {
            postToRun(run, [this, done] { Progress->setValue(static_cast<int>(done * 1000)); });
            return !cancelFlag()->load();
        };
        // A JPEG's JSteg layouts are read from its coefficients, ranked with the pixel layouts.
        auto result = std::make_shared<extract::ScanResult>(
            extract::ScanImageFile(path, image->samples, options));
        return [this, result] { scanEnded(*result); };
    });
}

void BitExtraction::scanEnded(extract::ScanResult& result) {
    scanning_ = false;
    Scan->setEnabled(true);
    Browse->setEnabled(true);
    // A cancelled scan never gets here: it was replaced or its window is closing.
    found_ = std::move(result.findings);
    const std::size_t layouts = result.walk.size();
    Findings->setRowCount(static_cast<int>(found_.size()));
    int shown = 0;
    for (const extract::Finding& finding : found_) {
        const QString cells[] = {QString::fromStdString(finding.layout),
                                 extract::TierText(finding.tier),
                                 QString::fromStdString(finding.what), Preview(finding.payload)};
        for (int column = 0; column < 4; ++column) {
            Findings->setItem(shown, column, new QTableWidgetItem(cells[column]));
        }
        ++shown;
    }
    showRawRows();
    const auto count = [this](extract::Tier tier) {
        return std::count_if(found_.begin(), found_.end(),
                             [tier](const extract::Finding& f) { return f.tier == tier; });
    };
    Summary->setText(QString("%1 layouts: %2 found, %3 weak, %4 raw")
                         .arg(layouts)
                         .arg(count(extract::Tier::Found))
                         .arg(count(extract::Tier::Weak))
                         .arg(count(extract::Tier::Raw)));
    Progress->setValue(1000);
    reportStatus(Summary->text());
    emit scanFinished();
}

void BitExtraction::showRawRows() {
    for (std::size_t row = 0; row < found_.size(); ++row) {
        Findings->setRowHidden(static_cast<int>(row),
                               found_[row].tier == extract::Tier::Raw && !ShowRaw->isChecked());
    }
}

void BitExtraction::Findings_Click(int row) {
    if (row < 0 || row >= static_cast<int>(found_.size())) {
        return;
    }
    Findings->selectRow(row);
    const extract::Finding& finding = found_[row];
    if (const auto layout = extract::ParseLayout(finding.layout).layout) {
        showLayout(*layout);
    }
    if (!finding.payload.empty()) {
        const std::size_t shown = std::min(finding.payload.size(), kShownBytes);
        HexView->setPlainText(HexAndText({finding.payload.begin(), finding.payload.begin() + shown},
                                         finding.ownStream ? 0 : finding.offset));
    }
}

void BitExtraction::Save_Click() {
    if (!image_) {
        reportFailure(QStringLiteral("Choose an image first."));
        return;
    }
    const int row = Findings->currentRow();
    const bool carved = row >= 0 && row < static_cast<int>(found_.size()) &&
                        !found_[row].payload.empty() && Findings->item(row, 0)->isSelected();
    std::vector<std::uint8_t> bytes;
    if (carved) {
        bytes = found_[row].payload;
    } else if (const auto layout = currentLayout()) {
        bytes = extract::ExtractWholeStream(image_->samples, *layout);
    } else {
        reportFailure("Not a layout: " + LayoutText->text());
        return;
    }
    const std::optional<QString> path =
        chooseSavePath ? chooseSavePath(this)
                       : std::optional<QString>(QFileDialog::getSaveFileName(this, "Save Payload"));
    if (!path || path->isEmpty()) {
        return;
    }
    saveFile(*path, bytes);
}

} // namespace vantrel

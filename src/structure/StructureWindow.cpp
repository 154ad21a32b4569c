#include "structure/StructureWindow.h"

#include "structure/CarvedFiles.h"
#include "structure/LoadStructure.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace vantrel {
namespace {

using structure::Anomaly;
using structure::Check;
using structure::Part;
using structure::Text;

const QColor kAnomalyBack(255, 232, 232);
const QColor kAnomalyText(170, 20, 20);
const QColor kHighlight(255, 214, 120);
constexpr int kBytesPerRow = 16;
constexpr int kOffsetRole = Qt::UserRole;
constexpr int kLengthRole = Qt::UserRole + 1;
constexpr int kIndexRole = Qt::UserRole + 2;
// A repaired PNG is a copy of the file held in memory; past this a file is no image to repair.
constexpr std::uint64_t kRepairLimit = 1ull << 30;

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QTreeWidget* MakeList(QWidget* parent, const QString& name, const QStringList& headers,
                      const QRect& at) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setFont(ConsolasFont(9, false));
    list->setGeometry(at);
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

// A row that knows the bytes it stands for, so that selecting it highlights them.
QTreeWidgetItem* MakeRow(const QStringList& cells, std::uint64_t offset, std::uint64_t length,
                         int index = -1) {
    auto* item = new QTreeWidgetItem(cells);
    item->setData(0, kOffsetRole, QVariant::fromValue<qulonglong>(offset));
    item->setData(0, kLengthRole, QVariant::fromValue<qulonglong>(length));
    item->setData(0, kIndexRole, index);
    return item;
}

QTreeWidgetItem* PartItem(const Part& part) {
    const QString check = part.check == Check::Bad  ? QStringLiteral("bad")
                          : part.check == Check::Ok ? QStringLiteral("ok")
                                                    : QString();
    QTreeWidgetItem* item =
        MakeRow({Utf8(part.kind + " " + part.name), QString::number(part.offset),
                 QString::number(part.length), check},
                part.offset, part.length);
    if (part.check == Check::Bad) {
        item->setForeground(3, kAnomalyText);
    }
    for (const Part& child : part.children) {
        item->addChild(PartItem(child));
    }
    return item;
}

} // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(ConsolasFont(9, false));
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
}

void HexView::openFile(const QString& path) {
    file_.close();
    file_.setFileName(path);
    size_ = file_.open(QIODevice::ReadOnly) ? static_cast<std::uint64_t>(file_.size()) : 0;
    selected_ = selectedLength_ = 0;
    updateRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

int HexView::rowHeight() const {
    return fontMetrics().height();
}

int HexView::visibleRows() const {
    return std::max(1, viewport()->height() / rowHeight());
}

void HexView::updateRange() {
    // The scroll bar counts rows in an int; a file past 32 GiB shows its first 32 GiB.
    const std::uint64_t rows = (size_ + kBytesPerRow - 1) / kBytesPerRow;
    const std::uint64_t last = rows > static_cast<std::uint64_t>(visibleRows())
                                   ? rows - static_cast<std::uint64_t>(visibleRows())
                                   : 0;
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<std::uint64_t>(last, INT32_MAX)));
    verticalScrollBar()->setPageStep(visibleRows());
}

std::uint64_t HexView::firstVisibleOffset() const {
    return static_cast<std::uint64_t>(verticalScrollBar()->value()) * kBytesPerRow;
}

void HexView::setSelection(std::uint64_t offset, std::uint64_t length) {
    selected_ = offset;
    selectedLength_ = length;
    const std::uint64_t row = offset / kBytesPerRow;
    const std::uint64_t first = firstVisibleOffset() / kBytesPerRow;
    if (row < first || row >= first + static_cast<std::uint64_t>(visibleRows())) {
        // A row of context above the range where there is one.
        verticalScrollBar()->setValue(
            static_cast<int>(std::min<std::uint64_t>(row ? row - 1 : 0, INT32_MAX)));
    }
    viewport()->update();
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateRange();
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const std::uint64_t first = firstVisibleOffset();
    if (!file_.isOpen() || first >= size_) {
        return;
    }
    const int rows = visibleRows() + 1;
    const std::uint64_t wanted =
        std::min<std::uint64_t>(size_ - first, static_cast<std::uint64_t>(rows) * kBytesPerRow);
    QByteArray page;
    if (file_.seek(static_cast<qint64>(first))) {
        page = file_.read(static_cast<qint64>(wanted));
    }
    const QFontMetrics metrics = fontMetrics();
    const int cell = metrics.horizontalAdvance(QLatin1Char('0'));
    // Eight offset digits while they suffice: the bytes, not the offsets, need the width.
    const int digits = size_ > 0xFFFFFFFFull ? 10 : 8;
    const int hexLeft = 4 + (digits + 2) * cell;
    const int asciiLeft = hexLeft + (3 * kBytesPerRow + 2) * cell;
    const std::uint64_t selectedEnd =
        selected_ + std::min(selectedLength_, UINT64_MAX - selected_); // saturating
    for (int row = 0; row * kBytesPerRow < page.size(); ++row) {
        const int y = row * rowHeight();
        const std::uint64_t rowOffset = first + static_cast<std::uint64_t>(row) * kBytesPerRow;
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(4, y + metrics.ascent(),
                         QStringLiteral("%1").arg(rowOffset, digits, 16, QLatin1Char('0')));
        painter.setPen(palette().color(QPalette::Text));
        for (int column = 0; column < kBytesPerRow; ++column) {
            const int index = row * kBytesPerRow + column;
            if (index >= page.size()) {
                break;
            }
            const auto byte = static_cast<unsigned char>(page[index]);
            const std::uint64_t at = rowOffset + static_cast<std::uint64_t>(column);
            const int hexX = hexLeft + 3 * column * cell + (column >= 8 ? cell : 0);
            const int asciiX = asciiLeft + column * cell;
            if (at >= selected_ && at < selectedEnd) {
                painter.fillRect(hexX - cell / 2, y, 3 * cell, rowHeight(), kHighlight);
                painter.fillRect(asciiX, y, cell, rowHeight(), kHighlight);
            }
            painter.drawText(hexX, y + metrics.ascent(),
                             QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')));
            painter.drawText(asciiX, y + metrics.ascent(),
                             QString(byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar('.')));
        }
    }
}

StructureWindow::StructureWindow(QWidget* parent) : FileAnalysisWindow(parent) {
    setObjectName(QStringLiteral("StructureWindow"));
    setWindowTitle(QStringLiteral("File Structure"));
    setClientSize(980, 650);

    TopRow row = addReportButtons(80, 70);
    SaveCarved = row.add(QStringLiteral("SaveCarved"), QStringLiteral("Save Carved..."), 130);
    SaveRepaired =
        row.add(QStringLiteral("SaveRepaired"), QStringLiteral("Save Repaired PNG..."), 180);
    FileLabel = new QLabel(QStringLiteral("Browse for a file, or drop one on this window."), this);
    FileLabel->setObjectName(QStringLiteral("FileLabel"));
    FileLabel->setFont(ConsolasFont(9));
    FileLabel->setGeometry(8, 40, 964, 20);
    setFailureLine(FileLabel);

    Anomalies = MakeList(this, QStringLiteral("Anomalies"),
                         {QStringLiteral("Anomaly"), QStringLiteral("Offset"),
                          QStringLiteral("Length"), QStringLiteral("Reason")},
                         QRect(8, 64, 964, 112));
    SetBackgroundColour(Anomalies->viewport(), kAnomalyBack);
    Anomalies->setAutoFillBackground(true);
    Info = new QLabel(this);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setFont(ConsolasFont(9));
    Info->setGeometry(8, 180, 964, 20);

    Parts = MakeList(this, QStringLiteral("Parts"),
                     {QStringLiteral("Part"), QStringLiteral("Offset"), QStringLiteral("Length"),
                      QStringLiteral("Check")},
                     QRect(8, 204, 380, 300));
    Parts->setRootIsDecorated(true);
    Hex = new HexView(this);
    Hex->setObjectName(QStringLiteral("Hex"));
    Hex->setGeometry(396, 204, 576, 300);

    Texts = MakeList(this, QStringLiteral("Texts"),
                     {QStringLiteral("From"), QStringLiteral("Key"), QStringLiteral("Text")},
                     QRect(8, 512, 480, 130));
    CarvedList = MakeList(this, QStringLiteral("Carved"),
                          {QStringLiteral("Carved"), QStringLiteral("Offset"),
                           QStringLiteral("Length"), QStringLiteral("What")},
                          QRect(496, 512, 476, 130));
    for (QTreeWidget* list : {Anomalies, Parts, Texts, CarvedList}) {
        list->header()->setStretchLastSection(true);
        connect(list, &QTreeWidget::currentItemChanged, this,
                [this](QTreeWidgetItem* item) { select(item); });
    }

    connect(SaveCarved, &QPushButton::clicked, this, &StructureWindow::SaveCarved_Click);
    connect(SaveRepaired, &QPushButton::clicked, this, &StructureWindow::SaveRepaired_Click);
    chooseSavePath = [](QWidget* owner, const QString& caption, const QString& suggested) {
        return ChooseSaveFile(owner, caption, suggested);
    };
    chooseReportPath = [this](QWidget* owner) {
        return chooseSavePath(owner, QStringLiteral("Save Report"),
                              QStringLiteral("structure.json"));
    };
    updateButtons();
}

StructureWindow::~StructureWindow() {
    stopWork();
}

void StructureWindow::clearResults() {
    structure_.reset();
    for (QTreeWidget* list : {Anomalies, Parts, Texts, CarvedList}) {
        list->clear();
    }
    Info->clear();
    updateButtons();
}

void StructureWindow::updateButtons() {
    const bool shown = structure_ != nullptr;
    updateReportButtons();
    SaveCarved->setEnabled(shown && !structure_->carved.empty());
    SaveRepaired->setEnabled(shown && structure_->format == "png" &&
                             structure_->info.ihdrTrueSize.has_value());
}

void StructureWindow::loadFile(const QString& path) {
    clearResults();
    path_ = PathBytes(path);
    beginFile(path);
    Hex->openFile(path);
    FileLabel->setText(QStringLiteral("Walking %1 ...").arg(QFileInfo(path).fileName()));
    startRun([this, path = path_](int) -> std::function<void()> {
        auto walked = std::make_shared<Result<FileStructure>>(structure::LoadFileStructure(path));
        return [this, walked] {
            if (*walked) {
                showStructure(std::make_shared<const FileStructure>(std::move(*walked).value()));
            } else {
                reportFailure(walked->error());
            }
            emit structureShown();
        };
    });
}

void StructureWindow::showStructure(std::shared_ptr<const FileStructure> walked) {
    structure_ = std::move(walked);
    const FileStructure& s = *structure_;
    const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path_))).fileName();
    if (s.format == "unknown") {
        // No walk recognised the bytes: whatever the name says, there is no image to take apart.
        FileLabel->setText(
            QStringLiteral("%1: not an image (no image format starts this way), %2 bytes")
                .arg(name)
                .arg(s.size));
        SetTextColour(FileLabel, kAnomalyText);
    } else {
        FileLabel->setText(QStringLiteral("%1: %2, %3 bytes, image ends at %4; %5 %6")
                               .arg(name, Utf8(s.format))
                               .arg(s.size)
                               .arg(s.end)
                               .arg(s.anomalies.size())
                               .arg(s.anomalies.size() == 1 ? QStringLiteral("anomaly")
                                                            : QStringLiteral("anomalies")));
    }
    for (std::size_t i = 0; i < s.anomalies.size(); ++i) {
        const Anomaly& a = s.anomalies[i];
        QTreeWidgetItem* item =
            MakeRow({QLatin1String(structure::AnomalyText(a.kind)), QString::number(a.offset),
                     QString::number(a.length), Utf8(a.reason)},
                    a.offset, a.length, static_cast<int>(i));
        item->setForeground(0, kAnomalyText);
        Anomalies->addTopLevelItem(item);
    }
    for (const Part& part : s.parts) {
        Parts->addTopLevelItem(PartItem(part));
        Parts->topLevelItem(Parts->topLevelItemCount() - 1)->setExpanded(true);
    }
    for (const Text& text : s.texts) {
        Texts->addTopLevelItem(
            MakeRow({Utf8(text.source), Utf8(text.key), Utf8(text.value)}, text.offset, 0));
    }
    for (std::size_t i = 0; i < s.carved.size(); ++i) {
        const Carved& c = s.carved[i];
        CarvedList->addTopLevelItem(MakeRow(
            {Utf8(c.type), QString::number(c.offset), QString::number(c.length), Utf8(c.what)},
            c.offset, c.length, static_cast<int>(i)));
    }
    for (QTreeWidget* list : {Anomalies, Parts, CarvedList}) {
        for (int column = 0; column + 1 < list->columnCount(); ++column) {
            list->resizeColumnToContents(column);
        }
    }
    if (const auto& size = s.info.ihdrTrueSize) {
        Info->setText(QStringLiteral("True size %1 x %2: IHDR declares another; Save Repaired "
                                     "PNG... writes the file with the true size")
                          .arg(size->first)
                          .arg(size->second));
        SetTextColour(Info, kAnomalyText);
    }
    updateButtons();
    if (Anomalies->topLevelItemCount() > 0) {
        Anomalies->setCurrentItem(Anomalies->topLevelItem(0));
    }
}

void StructureWindow::select(QTreeWidgetItem* item) {
    if (item) {
        Hex->setSelection(item->data(0, kOffsetRole).toULongLong(),
                          item->data(0, kLengthRole).toULongLong());
    }
}

const Carved* StructureWindow::chosenCarved() const {
    if (!structure_ || structure_->carved.empty()) {
        return nullptr;
    }
    const std::vector<Carved>& carved = structure_->carved;
    if (const QTreeWidgetItem* item = CarvedList->currentItem()) {
        return &carved[static_cast<std::size_t>(item->data(0, kIndexRole).toInt())];
    }
    // Else the one carved from the selected anomaly, else the first.
    if (const QTreeWidgetItem* item = Anomalies->currentItem()) {
        const auto from = static_cast<std::size_t>(item->data(0, kIndexRole).toInt());
        const auto match = std::find_if(carved.begin(), carved.end(),
                                        [from](const Carved& c) { return c.from == from; });
        if (match != carved.end()) {
            return &*match;
        }
    }
    return &carved.front();
}

std::string StructureWindow::reportText() const {
    return structure::StructureReport(*structure_, path_);
}

std::string StructureWindow::reportJson() const {
    return structure::StructureJson(*structure_, path_);
}

void StructureWindow::SaveCarved_Click() {
    const Carved* carved = chosenCarved();
    if (!carved) {
        return;
    }
    const QString stem = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path_))).fileName();
    const std::optional<QString> target = chooseSavePath(
        this, QStringLiteral("Save Carved"),
        QStringLiteral("%1.%2.%3").arg(stem).arg(carved->offset).arg(Utf8(carved->type)));
    if (!target) {
        return;
    }
    const Result<std::uint64_t> written = structure::SaveCarved(path_, *carved, PathBytes(*target));
    if (!written) {
        reportFailure(written.error());
        return;
    }
    reportStatus(QStringLiteral("Saved %1 bytes to %2").arg(*written).arg(*target));
}

void StructureWindow::SaveRepaired_Click() {
    if (!structure_ || structure_->size > kRepairLimit) {
        return;
    }
    const QString stem =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(path_))).completeBaseName();
    const std::optional<QString> target = chooseSavePath(this, QStringLiteral("Save Repaired PNG"),
                                                         stem + QStringLiteral("-repaired.png"));
    if (!target) {
        return;
    }
    std::ifstream in(path_, std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    // The walk's offsets hold only for the bytes it walked.
    if (file.size() != structure_->size) {
        reportFailure(path_ + " changed while it was read");
        return;
    }
    const Result<std::vector<std::uint8_t>> repaired = structure::RepairedPng(file, *structure_);
    if (!repaired) {
        reportFailure(repaired.error());
        return;
    }
    saveFile(*target, *repaired);
}

} // namespace vantrel

#include "verdict/VerdictWindow.h"

#include "blind/BlindAnalysis.h"
#include "extract/BitExtraction.h"
#include "image/ImageLoading.h"
#include "jpeg/JpegAnalysisWindow.h"
#include "steghide/SteghideWindow.h"
#include "structure/StructureWindow.h"
#include "verdict/Scan.h"
#include "verdict/Verdict.h"
#include "verdict/VerdictReport.h"
#include "widgets/ChooseImageFile.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <chrono>
#include <fstream>
#include <initializer_list>

namespace vantrel {
namespace {

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor VerdictColour(const verdict::FileRecord& r) {
    if (!r.readable()) {
        return QColor(0x66, 0x66, 0x66);
    }
    switch (r.verdict) {
    case verdict::Verdict::Found:
        return QColor(0xb3, 0x26, 0x1e);
    case verdict::Verdict::Suspicious:
        return QColor(0xd9, 0x77, 0x06);
    case verdict::Verdict::Clean:
        break;
    }
    return QColor(0x2e, 0x7d, 0x32);
}

// The window that shows each analysis, by the verdict table's names.
template <typename Window> ChildWindow* Make() {
    return new Window;
}
const struct {
    const char* analysis;
    ChildWindow* (*make)();
} kWindows[] = {
    {"pixels", Make<BlindAnalysis>},      {"jpeg", Make<JpegAnalysisWindow>},
    {"structure", Make<StructureWindow>}, {"payloads", Make<BitExtraction>},
    {"steghide", Make<SteghideWindow>},
};

// `widths` for the columns but the last, which stretches.
QTableWidget* MakeTable(QWidget* parent, const QString& name, const QStringList& headers,
                        const QRect& place, std::initializer_list<int> widths) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->setGeometry(place);
    table->setFont(ConsolasFont(9, false));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(20);
    table->horizontalHeader()->setStretchLastSection(true);
    int column = 0;
    for (const int width : widths) {
        table->setColumnWidth(column++, width);
    }
    return table;
}

QTableWidgetItem* Cell(const QString& text) {
    return new QTableWidgetItem(text);
}

} // namespace

VerdictWindow::VerdictWindow(QWidget* parent) : FileAnalysisWindow(parent) {
    setObjectName(QStringLiteral("VerdictWindow"));
    setWindowTitle(QStringLiteral("File Verdict"));
    setClientSize(980, 640);

    TopRow row(this);
    addBrowse(row, 80);
    QPushButton* folder = row.add(QStringLiteral("Folder"), QStringLiteral("Folder..."), 90);
    QPushButton* wordList =
        row.add(QStringLiteral("WordList"), QStringLiteral("Word List..."), 110);
    QPushButton* saveReport =
        row.add(QStringLiteral("SaveReport"), QStringLiteral("Save Report..."), 130);
    WordListLabel = new QLabel(QStringLiteral("no word list: password tools do not run"), this);
    WordListLabel->setObjectName(QStringLiteral("WordListLabel"));
    WordListLabel->setFont(ConsolasFont(9));
    WordListLabel->setGeometry(444, 10, 528, 20);
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setGeometry(8, 40, 964, 18);
    Progress->setFormat(QStringLiteral("%v of %m files"));
    Progress->setMaximum(1);

    Files = MakeTable(this, QStringLiteral("Files"),
                      {QStringLiteral("File"), QStringLiteral("Format"), QStringLiteral("Size"),
                       QStringLiteral("Verdict"), QStringLiteral("Tools")},
                      QRect(8, 64, 964, 300), {430, 60, 100, 100});
    QPushButton* openEvidence =
        TopRow(this).add(QStringLiteral("OpenEvidence"), QStringLiteral("Open Analysis"), 120);
    openEvidence->move(8, 370);
    Evidence =
        MakeTable(this, QStringLiteral("Evidence"),
                  {QStringLiteral(""), QStringLiteral("Analysis"), QStringLiteral("Detector"),
                   QStringLiteral("Figure"), QStringLiteral("Why")},
                  QRect(8, 402, 964, 230), {70, 80, 220, 130});

    connect(folder, &QPushButton::clicked, this, &VerdictWindow::Folder_Click);
    connect(wordList, &QPushButton::clicked, this, &VerdictWindow::WordList_Click);
    connect(saveReport, &QPushButton::clicked, this, &VerdictWindow::SaveReport_Click);
    connect(openEvidence, &QPushButton::clicked, this, &VerdictWindow::OpenEvidence_Click);
    connect(Files, &QTableWidget::currentCellChanged, this, [this](int row) { showEvidence(row); });
    connect(Evidence, &QTableWidget::cellDoubleClicked, this, &VerdictWindow::OpenEvidence_Click);

    chooseFolder = [](QWidget* owner) -> std::optional<QString> {
        const QString folder = QFileDialog::getExistingDirectory(owner, QStringLiteral("Folder"));
        return folder.isEmpty() ? std::nullopt : std::optional<QString>(folder);
    };
    chooseWordList = [](QWidget* owner) -> std::optional<QString> {
        const QString file = QFileDialog::getOpenFileName(owner, QStringLiteral("Word List"));
        return file.isEmpty() ? std::nullopt : std::optional<QString>(file);
    };
    chooseSavePath = [](QWidget* owner, const QString& caption, const QString& suggested) {
        return ChooseSaveFile(owner, caption, suggested);
    };
}

VerdictWindow::~VerdictWindow() {
    stopWork();
}

void VerdictWindow::loadFile(const QString& path) {
    loadFiles({path});
}

void VerdictWindow::loadFiles(const QStringList& paths) {
    paths_.clear();
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir()) {
            for (const ScanFile& file : FilesUnder(
                     PathBytes(path), {}, [this](const std::string& m) { reportFailure(m); })) {
                paths_.push_back(file.path);
            }
        } else {
            paths_.push_back(PathBytes(path));
        }
    }
    records_.assign(paths_.size(), {});
    Files->setRowCount(static_cast<int>(paths_.size()));
    Evidence->setRowCount(0);
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        records_[i].file = paths_[i];
        records_[i].error = "not analysed yet";
        Files->setItem(static_cast<int>(i), 0, Cell(Utf8(paths_[i])));
        for (int column = 1; column < 5; ++column) {
            Files->setItem(static_cast<int>(i), column, Cell({}));
        }
        Files->item(static_cast<int>(i), 3)->setText(QStringLiteral("waiting"));
    }
    Progress->setMaximum(std::max<int>(1, static_cast<int>(paths_.size())));
    Progress->setValue(0);
    ScanOptions options;
    options.jobs = DecoderPoolCapacity();
    options.thumbnailSide = 64; // for the HTML report
    if (words_) {
        options.words = *words_;
    }
    const std::vector<ScanFile> files = FilesListed(paths_, {});
    const std::atomic<bool>* cancel = cancelFlag();
    startRun([this, files, options, cancel](int run) {
        const auto start = std::chrono::steady_clock::now();
        std::size_t row = 0;
        ScanFiles(files, options, [&](const verdict::FileRecord& record) {
            postToRun(run, [this, at = row++, record] { showRecord(at, record); });
            return !cancel->load();
        });
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return std::function<void()>([this, seconds] {
            seconds_ = seconds;
            emit finished();
        });
    });
}

void VerdictWindow::showRecord(std::size_t row, const verdict::FileRecord& record) {
    if (row >= records_.size()) {
        return;
    }
    records_[row] = record;
    const int r = static_cast<int>(row);
    Files->item(r, 1)->setText(Utf8(record.format));
    Files->item(r, 2)->setText(record.readable()
                                   ? QStringLiteral("%1 x %2").arg(record.width).arg(record.height)
                                   : QString());
    QTableWidgetItem* verdict = Files->item(r, 3);
    verdict->setText(record.readable() ? QString::fromLatin1(verdict::VerdictName(record.verdict))
                                       : QStringLiteral("unreadable"));
    verdict->setBackground(VerdictColour(record));
    verdict->setForeground(Qt::white);
    QStringList tools;
    for (const std::string& tool : record.tools) {
        tools << Utf8(tool);
    }
    Files->item(r, 4)->setText(tools.join(QStringLiteral(", ")));
    Progress->setValue(Progress->value() + 1);
    if (Files->currentRow() == r) {
        showEvidence(r);
    } else if (Files->currentRow() < 0) {
        Files->setCurrentCell(r, 0);
    }
}

void VerdictWindow::showEvidence(int row) {
    Evidence->setRowCount(0);
    if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) {
        return;
    }
    const verdict::FileRecord& record = records_[static_cast<std::size_t>(row)];
    const auto& evidence = record.evidence;
    Evidence->setRowCount(static_cast<int>(evidence.size()));
    for (std::size_t i = 0; i < evidence.size(); ++i) {
        const verdict::Evidence& e = evidence[i];
        const int at = static_cast<int>(i);
        QTableWidgetItem* mark = Cell(e.found        ? QStringLiteral("found")
                                      : e.flagged    ? QStringLiteral("flagged")
                                      : e.state.ok() ? QStringLiteral("ok")
                                                     : QStringLiteral("n/a"));
        if (e.found || e.flagged) {
            mark->setBackground(e.found ? QColor(0xb3, 0x26, 0x1e) : QColor(0xd9, 0x77, 0x06));
            mark->setForeground(Qt::white);
        }
        Evidence->setItem(at, 0, mark);
        Evidence->setItem(at, 1, Cell(Utf8(e.analysis)));
        Evidence->setItem(at, 2, Cell(Utf8(e.detector)));
        QString figure;
        if (e.figure) {
            figure = QString::number(*e.figure, 'g', 4);
            if (e.threshold) {
                figure += (e.flagged ? QStringLiteral(" >= ") : QStringLiteral(" < ")) +
                          QString::number(*e.threshold, 'g', 4);
            }
        }
        Evidence->setItem(at, 3, Cell(figure));
        Evidence->setItem(
            at, 4,
            Cell(Utf8(e.state.ok() ? e.why : StateLine(e.state)) +
                 (e.tool.empty() ? QString() : QStringLiteral(" [%1]").arg(Utf8(e.tool)))));
    }
    if (!evidence.empty()) {
        Evidence->setCurrentCell(0, 0);
    }
}

ChildWindow* VerdictWindow::openAnalysis(const std::string& analysis, const QString& path) {
    for (const auto& entry : kWindows) {
        if (analysis == entry.analysis) {
            ChildWindow* window = entry.make();
            openChild(window);
            static_cast<FileAnalysisWindow*>(window)->loadFile(path);
            return window;
        }
    }
    return nullptr;
}

void VerdictWindow::OpenEvidence_Click() {
    const int file = Files->currentRow();
    const int line = Evidence->currentRow();
    if (file < 0 || line < 0 || static_cast<std::size_t>(file) >= records_.size()) {
        return;
    }
    const verdict::FileRecord& record = records_[static_cast<std::size_t>(file)];
    if (static_cast<std::size_t>(line) < record.evidence.size()) {
        openAnalysis(record.evidence[static_cast<std::size_t>(line)].analysis, Utf8(record.file));
    }
}

void VerdictWindow::Folder_Click() {
    if (const std::optional<QString> folder = chooseFolder(this)) {
        loadFile(*folder);
    }
}

void VerdictWindow::WordList_Click() {
    const std::optional<QString> chosen = chooseWordList(this);
    if (!chosen) {
        return;
    }
    std::ifstream in(PathBytes(*chosen), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (!in.is_open() || (!in.good() && !in.eof())) {
        reportFailure("Cannot read the word list " + PathBytes(*chosen));
        return;
    }
    words_ = std::make_shared<const std::string>(std::move(text));
    WordListLabel->setText(QStringLiteral("word list: %1").arg(QFileInfo(*chosen).fileName()));
}

void VerdictWindow::SaveReport_Click() {
    const std::optional<QString> target =
        chooseSavePath(this, QStringLiteral("Save Report"), QStringLiteral("verdict.html"));
    if (!target) {
        return;
    }
    std::string text;
    if (target->endsWith(QStringLiteral(".json"), Qt::CaseInsensitive) ||
        target->endsWith(QStringLiteral(".jsonl"), Qt::CaseInsensitive)) {
        for (const verdict::FileRecord& record : records_) {
            text += verdict::RecordJson(record) + "\n";
        }
    } else {
        text = verdict::ReportHtml(records_, seconds_);
    }
    saveFile(*target, text);
}

} // namespace vantrel

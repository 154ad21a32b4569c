#include "search/S6_Search.h"

#include "fileinfo/FileInfo.h"
#include "fileinfo/ImageComment.h"
#include "multiwindow/S2_Comparison.h"
#include "search/SearchLists.h"
#include "viewer/S3_FullSize.h"
#include "widgets/ChooseImageFile.h"
#include "widgets/FileDrops.h"
#include "widgets/OpenedImageView.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStorageInfo>

namespace vantrel {
namespace {

const QColor kPictureGrey(31, 31, 31);
const QColor kCountAtRest(208, 218, 227);
const QColor kCountBusy(255, 0, 0);

QString Decoded(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString SizeCaption(const SharedImage& image) {
    return QStringLiteral("%1 X %2 Pixels")
        .arg(image ? image->width() : 0)
        .arg(image ? image->height() : 0);
}

template <typename Widget>
Widget* Placed(Widget* widget, const QString& objectName, int left, int top, int width,
               int height) {
    widget->setObjectName(objectName);
    widget->setFont(ConsolasFont());
    PlaceTwips(widget, left, top, width, height);
    return widget;
}

} // namespace

S6_Search::S6_Search(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("S6_Search"));
    setWindowTitle(QStringLiteral("Search for images similar in the MSB bit color plane."));

    Command2 = MakeButton(this, QStringLiteral("Command2"), QStringLiteral("Browse"),
                          QStringLiteral("Browse for image to load."), 240, 120, 795, 400);
    HScroll1 = Placed(new QScrollBar(Qt::Horizontal, this), QStringLiteral("HScroll1"), 3000, 120,
                      735, 375);
    HScroll1->setRange(0, 100);
    HScroll1->setValue(85);
    Label1 = MakeLabel(this, QStringLiteral("Label1"), QStringLiteral("85%"), 3840, 120, 855, 375);
    Label1->setToolTip(QStringLiteral("Search similarity percentage in the MSB color plane."));
    Text3 = Placed(new QLineEdit(this), QStringLiteral("Text3"), 240, 600, 4455, 615);
    Picture5 = MakePicture(this, QStringLiteral("Picture5"), 240, 1320, 4500, 4500, kPictureGrey);
    Label5 = MakeLabel(this, QStringLiteral("Label5"), {}, 240, 5880, 4485, 315);
    Label2 = MakeLabel(this, QStringLiteral("Label2"), QStringLiteral("Search Drive/Directory:"),
                       240, 6360, 4485, 315);
    Drive1 = Placed(new DriveList(this), QStringLiteral("Drive1"), 240, 6720, 4485, 345);
    Dir1 = Placed(new DirectoryList(this), QStringLiteral("Dir1"), 240, 7200, 4485, 2640);
    File1 = Placed(new FileList(this), QStringLiteral("File1"), 240, 9960, 4485, 1605);
    Label4 = MakeLabel(this, QStringLiteral("Label4"), {}, 240, 11640, 4485, 315);
    // Search shares its place with Stop, which ends a walk after the file being tested.
    Command1 = MakeButton(this, QStringLiteral("Command1"), QStringLiteral("Search"), {}, 240,
                          12120, 3285, 645);
    Command5 = MakeButton(this, QStringLiteral("Command5"), QStringLiteral("Stop"),
                          QStringLiteral("Stop the search after the file being tested."), 3600,
                          12120, 1125, 645);
    Command5->setEnabled(false);

    List1 = Placed(new QListWidget(this), QStringLiteral("List1"), 5040, 120, 6975, 12180);
    Label6 = MakeLabel(this, QStringLiteral("Label6"), {}, 5040, 12360, 6915, 315);
    SetBackgroundColour(Label6, kCountAtRest);
    List2 = Placed(new QListWidget(this), QStringLiteral("List2"), 12000, 120, 975, 12180);
    Command4 = MakeButton(this, QStringLiteral("Command4"), QStringLiteral("Copy"),
                          QStringLiteral("Copy list to clipboard."), 12000, 12360, 975, 345);

    Text2 = Placed(new QLineEdit(this), QStringLiteral("Text2"), 13200, 120, 4455, 975);
    Picture1 = MakePicture(this, QStringLiteral("Picture1"), 13200, 1200, 4500, 4500, kPictureGrey);
    Label7 = MakeLabel(this, QStringLiteral("Label7"), {}, 13200, 5760, 4485, 315);
    Text1 = Placed(new QPlainTextEdit(this), QStringLiteral("Text1"), 13200, 6240, 4500, 5700);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setPlainText(QStringLiteral("File information.\n"));
    Command3 = MakeButton(this, QStringLiteral("Command3"), QStringLiteral("Compare"), {}, 13200,
                          12120, 4485, 645);

    // The paths are shown for reading and copying, not for typing.
    Text2->setReadOnly(true);
    Text3->setReadOnly(true);
    for (QLabel* centred : {Label1, Label4, Label5, Label6, Label7}) {
        centred->setAlignment(Qt::AlignCenter);
    }

    connect(Command1, &QPushButton::clicked, this, &S6_Search::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &S6_Search::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &S6_Search::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &S6_Search::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &S6_Search::Command5_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &S6_Search::HScroll1_Change);
    connect(Drive1, &QComboBox::currentIndexChanged, this, &S6_Search::Drive1_Change);
    connect(Dir1, &DirectoryList::pathChanged, this, &S6_Search::Dir1_Change);
    connect(Dir1, &DirectoryList::problem, this,
            [this](const QString& message) { reportFailure(message); });
    connect(File1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) {
            File1_Click();
        }
    });
    connect(List1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) {
            List1_Click();
        }
    });
    // A click on a similarity shows its hit; the two lists scroll together.
    connect(List2, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) {
            List1->setCurrentRow(row);
        }
    });
    connect(List1->verticalScrollBar(), &QScrollBar::valueChanged, List2->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(List2->verticalScrollBar(), &QScrollBar::valueChanged, List1->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(Picture1, &PictureBox::clicked, this, &S6_Search::Picture1_Click);
    AcceptFileDrops(Picture5, [this](const QString& path) { LoadReference(path); });
    connect(Picture5, &PictureBox::clicked, this, &S6_Search::Picture5_Click);
    // The walk must end before the window lets go of anything it reports to.
    connect(this, &ChildWindow::closing, this, &S6_Search::stopWalk);

    // Form_Load: the lists start in the process's current directory.
    MatchPercent = 85;
    if (!Dir1->setPath(QDir::currentPath())) {
        Dir1->setPath(QDir::rootPath());
    }
    Drive1->showDriveOf(Dir1->path());
    setClientSizeTwips(17940, 13005);
}

S6_Search::~S6_Search() {
    stopWalk();
}

void S6_Search::post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void S6_Search::stopWalk() {
    walk_.stop();
}

void S6_Search::setWalking(bool walking) {
    Command1->setEnabled(!walking);
    Command2->setEnabled(!walking);
    Command5->setEnabled(walking);
}

void S6_Search::Command2_Click() {
    if (const std::optional<QString> chosen = chooseImageFile()) {
        LoadReference(*chosen);
    }
}

void S6_Search::LoadReference(const QString& path) {
    BusyCursor busy;
    RefImage.reset();
    Text3->setText(path);
    const OpenedImage opened = OpenImageFile(PathBytes(path));
    ShowOpenedImage(this, opened, path, {nullptr, Picture5, nullptr, nullptr});
    RefImage = opened.image;
    Label5->setText(SizeCaption(RefImage));
}

void S6_Search::HScroll1_Change() {
    MatchPercent = HScroll1->value();
    threshold_ = MatchPercent;
    Label1->setText(QStringLiteral("%1%").arg(MatchPercent));
}

void S6_Search::Drive1_Change() {
    const QString drive = Drive1->drive();
    QString error;
    if (!QStorageInfo(drive).isReady()) {
        error = QStringLiteral("The file system at %1 is not ready").arg(drive);
    } else if (Dir1->setPath(drive, &error)) {
        return;
    }
    reportFailure(error);
    Drive1->showDriveOf(Dir1->path()); // back to the drive of the directory still shown
}

void S6_Search::Dir1_Change() {
    File1->setPathBytes(Dir1->pathBytes());
    Label4->setText(QStringLiteral("File Count: %1").arg(File1->count()));
}

void S6_Search::File1_Click() {
    Text2->setText(Decoded(File1->filePath(File1->currentRow())));
}

void S6_Search::Command1_Click() {
    if (isSearching()) {
        return;
    }
    if (!RefImage || RefImage->width() == 0 || RefImage->height() == 0) {
        QMessageBox box(QMessageBox::Information, QApplication::applicationName(),
                        QStringLiteral("No image selected."), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    if (PreviewLoaded == 1) {
        CandBMP.reset();
    }
    PreviewLoaded = 0;
    List1->clear();
    List2->clear();
    SetBackgroundColour(Label6, kCountBusy);
    Label6->setText(QStringLiteral("Search Count: 0"));
    skipped_ = 0;
    lastSkipped_.clear();
    walkStart_ = Dir1->pathBytes();
    setWalking(true);
    reportStatus(QStringLiteral("Searching %1").arg(Decoded(walkStart_)));

    // The walk holds the reference image itself, so nothing the window does can pull it away
    // from under it.
    walk_.start([this, reference = SearchReference::Of(RefImage), start = walkStart_,
                 test = testCandidate] {
        SearchControl control;
        control.matchPercent = [this] { return threshold_.load(); };
        control.stopRequested = [this] { return walk_.cancelled(); };
        control.testCandidate = test;
        SearchEvents events;
        events.directoryReached = [this](const WalkStep& step, std::size_t left) {
            post([this, step, left] { directoryReached(step, left); });
        };
        events.testing = [this](const std::string& path, std::size_t index) {
            post([this, index] { candidateTesting(index); });
            if (beforeCandidate) {
                beforeCandidate(path);
            }
        };
        events.hit = [this](const std::string& path, const std::string& text) {
            post([this, path, text] { hitFound(path, text); });
        };
        events.problem = [this](const std::string& message) {
            post([this, message = QString::fromStdString(message)] { problemFound(message); });
        };
        events.progress = [this](std::uint64_t tested, std::size_t left) {
            post([this, tested, left] { progressMade(tested, left); });
        };
        const SearchSummary summary = SearchTree(reference, start, control, events);
        post([this, summary] { walkEnded(summary); });
    });
}

void S6_Search::directoryReached(const WalkStep& step, std::size_t directoriesLeft) {
    {
        // The walk already listed the files: show them without reading the directory again.
        const QSignalBlocker quiet(Dir1);
        Dir1->setPathBytes(step.directory);
    }
    File1->setEntries(step.directory, step.files);
    Label4->setText(QStringLiteral("File Count: %1").arg(File1->count()));
    progressMade(0, directoriesLeft);
}

void S6_Search::candidateTesting(std::size_t index) {
    File1->setCurrentRow(static_cast<int>(index));
}

void S6_Search::hitFound(const std::string& path, const std::string& similarityText) {
    auto* entry = new QListWidgetItem(Decoded(path), List1);
    entry->setData(Qt::UserRole, QByteArray::fromStdString(path));
    List2->addItem(QString::fromStdString(similarityText));
    Label6->setText(QStringLiteral("Search Count: %1").arg(List1->count()));
}

QString S6_Search::skippedNote() const {
    if (skipped_ == 0) {
        return {};
    }
    return QStringLiteral("; %1 skipped, last: %2").arg(skipped_).arg(lastSkipped_);
}

void S6_Search::problemFound(const QString& message) {
    ++skipped_;
    lastSkipped_ = message;
    reportFailure(message);
}

void S6_Search::progressMade(std::uint64_t filesTested, std::size_t directoriesLeft) {
    if (filesTested == 0) {
        return; // a directory reached before its first file: nothing new to count
    }
    reportStatus(QStringLiteral("Searching: %1 files tested, %2 directories left%3")
                     .arg(filesTested)
                     .arg(directoriesLeft)
                     .arg(skippedNote()));
}

void S6_Search::walkEnded(const SearchSummary& summary) {
    walk_.join(); // its last act was to post this call
    SetBackgroundColour(Label6, kCountAtRest);
    Dir1->setPathBytes(walkStart_);
    setWalking(false);
    reportStatus(QStringLiteral("Search %1: %2 files tested, %3 hits%4")
                     .arg(summary.stopped ? QStringLiteral("stopped") : QStringLiteral("finished"))
                     .arg(summary.filesTested)
                     .arg(summary.hits)
                     .arg(skippedNote()));
    emit searchFinished();
}

void S6_Search::Command5_Click() {
    walk_.cancel();
    Command5->setEnabled(false);
}

void S6_Search::List1_Click() {
    const int row = List1->currentRow();
    if (row < 0) {
        return;
    }
    BusyCursor busy;
    CandBMP.reset();
    PreviewLoaded = 1;
    {
        const QSignalBlocker quiet(List2);
        List2->setCurrentRow(row);
    }
    resultPath_ = List1->item(row)->data(Qt::UserRole).toByteArray().toStdString();
    ResultFile = List1->item(row)->text();
    Text2->setText(ResultFile);
    const OpenedImage opened = OpenImageFile(resultPath_);
    ShowOpenedImage(this, opened, ResultFile, {nullptr, Picture1, nullptr, Text1});
    CandBMP = opened.decoded() ? opened.image : nullptr;
    Label7->setText(SizeCaption(CandBMP));
}

void S6_Search::Command3_Click() {
    if (PreviewLoaded == 0 || !RefImage || RefImage->empty() || !CandBMP) {
        return;
    }
    auto* comparison = new S2_Comparison(RefImage, CandBMP);
    openChild(comparison);
    comparison->setWindowTitle(Text3->text() + QStringLiteral(" [vs] ") + ResultFile);
    comparison->update();
    comparison->StartComparison();
}

void S6_Search::Command4_Click() {
    QString text;
    for (int row = 0; row < List1->count(); ++row) {
        text += List1->item(row)->text() + QStringLiteral("\r\n");
    }
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

void S6_Search::Picture5_Click() {
    OpenFullSizeViewer(this, RefImage, Text3->text());
}

void S6_Search::Picture1_Click() {
    if (PreviewLoaded == 1) {
        OpenFullSizeViewer(this, CandBMP, ResultFile);
    }
}

} // namespace vantrel

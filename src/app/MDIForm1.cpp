#include "app/MDIForm1.h"

#include "app/Form3.h"
#include "app/Form5.h"
#include "blind/BlindAnalysis.h"
#include "extract/BitExtraction.h"
#include "image/ImageLoading.h"
#include "jpeg/JpegAnalysisWindow.h"
#include "multiwindow/S0_Images.h"
#include "onewindow/Form4.h"
#include "search/S6_Search.h"
#include "steghide/SteghideWindow.h"
#include "structure/StructureWindow.h"
#include "verdict/VerdictWindow.h"
#include "widgets/FileDrops.h"
#include "widgets/WindowKit.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

#include <cstdlib>
#include <functional>
#include <initializer_list>

namespace vantrel {
namespace {

// A command of the menu bar: its caption, its name for findChild, and what it does.
struct MenuCommand {
    const char* caption;
    const char* name;
    std::function<void()> run;
};

// Adds the commands to a menu or to the bar itself, in order.
template <class Menu>
void AddCommands(Menu* menu, QObject* context, std::initializer_list<MenuCommand> commands) {
    for (const MenuCommand& command : commands) {
        QAction* action = menu->addAction(QString::fromUtf8(command.caption));
        action->setObjectName(QString::fromUtf8(command.name));
        QObject::connect(action, &QAction::triggered, context, command.run);
    }
}

} // namespace

template <typename Window> Window* MDIForm1::openWindow() {
    auto* window = new Window;
    addChildWindow(window);
    return window;
}

MDIForm1::MDIForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(ApplicationIcon());

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setBackground(QColor(64, 64, 64));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);

    QMenuBar* bar = menuBar();
    QMenu* newAnalysis = bar->addMenu(QStringLiteral("New Analysis"));
    newAnalysis->setObjectName(QStringLiteral("NewAnalysis"));
    AddCommands(
        newAnalysis, this,
        {{"Multi-Window Analysis", "MultiWindowAnalysis", [this] { MultiWindowAnalysis_Click(); }},
         {"One Window Analysis", "OneWindowAnalysis", [this] { OneWindowAnalysis_Click(); }},
         {"Similar Image Search", "Search", [this] { Search_Click(); }},
         // Beyond the original three: analyses without an original.
         {"Blind Analysis", "BlindAnalysis", [this] { openWindow<BlindAnalysis>(); }},
         {"Bit Extraction", "BitExtraction", [this] { openWindow<BitExtraction>(); }},
         {"JPEG Analysis", "JpegAnalysis", [this] { openWindow<JpegAnalysisWindow>(); }},
         {"steghide", "Steghide", [this] { openWindow<SteghideWindow>(); }},
         {"File Structure", "FileStructure", [this] { openWindow<StructureWindow>(); }},
         {"File Verdict", "FileVerdict", [this] { openWindow<VerdictWindow>(); }}});

    windowMenu_ = bar->addMenu(QStringLiteral("Window"));
    windowMenu_->setObjectName(QStringLiteral("Window"));
    connect(windowMenu_, &QMenu::aboutToShow, this, &MDIForm1::rebuildWindowMenu);

    AddCommands(bar, this,
                {{"Help", "Help", [this] { Help_Click(); }},
                 {"About", "About", [this] { About_Click(); }},
                 {"Exit", "Exit", [this] { Exit_Click(); }}});

    // A file or folder dropped where no window is gets its verdict.
    AcceptFileDrops(mdiArea_->viewport(),
                    [this](const QString& path) { FileVerdict_Click()->loadFile(path); });

    statusBar()->setObjectName(QStringLiteral("StatusBar"));

    // 26730 x 18615 twips of client area, plus the menu and status bars, where the screen has
    // room for it; else all the screen offers, so that the status bar stays in sight.
    const QSize wanted(Twips(26730),
                       Twips(18615) + bar->sizeHint().height() + statusBar()->sizeHint().height());
    const QRect available = screen()->availableGeometry();
    if (available.width() >= wanted.width() && available.height() >= wanted.height()) {
        resize(wanted);
    } else {
        setGeometry(available);
        setWindowState(Qt::WindowMaximized);
    }
}

MDIForm1::~MDIForm1() = default;

void MDIForm1::addChildWindow(ChildWindow* window) {
    if (!window->fileChooser()) {
        window->setFileChooser(chooser_);
    }
    window->setRecentFolder(recentFolder_);
    AddToMdiArea(mdiArea_, window);
    adoptWindow(window);
}

// Every work window's status lines reach the status bar, and so do those of the windows it
// opens, whichever closes first.
void MDIForm1::adoptWindow(ChildWindow* window) {
    connect(window, &ChildWindow::statusMessage, statusBar(),
            [this](const QString& message) { statusBar()->showMessage(message); });
    connect(window, &ChildWindow::childOpened, this, &MDIForm1::adoptWindow);
}

void MDIForm1::rebuildWindowMenu() {
    windowMenu_->clear();
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList();
    for (QMdiSubWindow* frame : windows) {
        QAction* entry = windowMenu_->addAction(frame->windowTitle());
        entry->setCheckable(true);
        entry->setChecked(frame == mdiArea_->activeSubWindow());
        connect(entry, &QAction::triggered, this, [this, frame = QPointer<QMdiSubWindow>(frame)] {
            if (frame) {
                mdiArea_->setActiveSubWindow(frame);
            }
        });
    }
    windowMenu_->addSeparator();
    QAction* cascade = windowMenu_->addAction(QStringLiteral("Cascade"));
    cascade->setObjectName(QStringLiteral("Cascade"));
    connect(cascade, &QAction::triggered, mdiArea_, &QMdiArea::cascadeSubWindows);
    QAction* tile = windowMenu_->addAction(QStringLiteral("Tile"));
    tile->setObjectName(QStringLiteral("Tile"));
    connect(tile, &QAction::triggered, mdiArea_, &QMdiArea::tileSubWindows);
}

// Every use makes a new, independent window.
void MDIForm1::MultiWindowAnalysis_Click() {
    openWindow<S0_Images>();
}

Form4* MDIForm1::OneWindowAnalysis_Click() {
    return openWindow<Form4>();
}

void MDIForm1::openFiles(const QStringList& paths) {
    for (qsizetype i = 0; i < paths.size(); i += 2) {
        Form4* window = OneWindowAnalysis_Click();
        window->LoadTestImage(paths[i]);
        if (i + 1 < paths.size()) {
            window->LoadOriginalImage(paths[i + 1]);
        }
    }
}

void MDIForm1::Search_Click() {
    openWindow<S6_Search>();
}

void MDIForm1::BlindAnalysis_Click() {
    openWindow<BlindAnalysis>();
}

void MDIForm1::JpegAnalysis_Click() {
    openWindow<JpegAnalysisWindow>();
}

VerdictWindow* MDIForm1::FileVerdict_Click() {
    return openWindow<VerdictWindow>();
}

// Help and About are one shared window each: made on first use, brought forward after.
template <typename Window> void MDIForm1::showShared(QPointer<Window>& shared) {
    if (!shared) {
        shared = new Window;
        addChildWindow(shared);
    }
    mdiArea_->setActiveSubWindow(shared->subWindow());
    shared->subWindow()->raise();
}

void MDIForm1::Help_Click() {
    showShared(help_);
}

void MDIForm1::About_Click() {
    showShared(about_);
}

void MDIForm1::Exit_Click() {
    // Ends at once: no window is asked and no close handler runs. Work on other threads is
    // stopped first, and the decoder processes with it, so nothing of the program lives on.
    for (ChildWindow* window : findChildren<ChildWindow*>()) {
        window->stopWork();
    }
    StopDecoders();
    std::_Exit(0);
}

void MDIForm1::closeEvent(QCloseEvent* event) {
    mdiArea_->closeAllSubWindows();
    if (!mdiArea_->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace vantrel

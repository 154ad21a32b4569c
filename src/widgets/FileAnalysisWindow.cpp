#include "widgets/FileAnalysisWindow.h"

#include "widgets/FileDrops.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace vantrel {

FileAnalysisWindow::FileAnalysisWindow(QWidget* parent) : ChildWindow(parent) {
    AcceptFileDrops(this, [this](const QString& path) { loadFile(path); });
    // A run asked to stop leaves its results unshown; the destructor waits for its thread.
    connect(this, &ChildWindow::closing, this, [this] { job_.cancel(); });
}

FileAnalysisWindow::~FileAnalysisWindow() {
    job_.stop();
}

void FileAnalysisWindow::Browse_Click() {
    QString& folder = *recentFolder();
    const std::optional<QString> chosen = ChooseImageFile(
        this, fileChooser(),
        AnalysisFileRequest(folder.isEmpty() ? QDir::currentPath() : folder, leadingFormats_));
    if (chosen) {
        folder = QFileInfo(*chosen).absolutePath();
        loadFile(*chosen);
    }
}

void FileAnalysisWindow::beginFile(const QString& path) {
    if (!kind_) {
        kind_ = windowTitle();
    }
    setWindowTitle(kind_->isEmpty() ? FileTitle(path)
                                    : QStringLiteral("%1: %2").arg(*kind_, FileTitle(path)));
    clearFailure();
}

} // namespace vantrel

#include "widgets/FileAnalysisWindow.h"

#include "widgets/FileDrops.h"

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
    if (const std::optional<QString> chosen = chooseImageFile()) {
        loadFile(*chosen);
    }
}

} // namespace vantrel

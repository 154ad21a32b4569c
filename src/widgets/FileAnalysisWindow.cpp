#include "widgets/FileAnalysisWindow.h"

#include "widgets/FileDrops.h"

#include <QDir>
#include <QFileInfo>

#include <fstream>
#include <optional>

namespace vantrel {

FileAnalysisWindow::FileAnalysisWindow(QWidget* parent) : ChildWindow(parent) {
    AcceptFileDrops(this, [this](const QString& path) { loadFile(path); });
    // A run asked to stop leaves its results unshown; the destructor waits for its thread.
    connect(this, &ChildWindow::closing, this, [this] { job_.cancel(); });
    chooseReportPath = [](QWidget* owner) {
        return ChooseSaveFile(owner, QStringLiteral("Save Report"), {},
                              QStringLiteral("JSON (*.json)"));
    };
}

void FileAnalysisWindow::saveReport(const std::string& report) {
    const std::optional<QString> chosen = chooseReportPath(this);
    if (!chosen) {
        return;
    }
    std::ofstream out(PathBytes(*chosen), std::ios::binary);
    out << report << '\n';
    out.close();
    if (!out) {
        reportFailure(QStringLiteral("Could not write %1").arg(*chosen));
        return;
    }
    reportStatus(QStringLiteral("Report saved to %1").arg(*chosen));
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

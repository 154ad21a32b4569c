#include "widgets/FileAnalysisWindow.h"

#include "widgets/FileDrops.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>

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

QPushButton* FileAnalysisWindow::addBrowse(TopRow& row, int width) {
    QPushButton* browse = row.add(QStringLiteral("Browse"), QStringLiteral("Browse"), width);
    connect(browse, &QPushButton::clicked, this, &FileAnalysisWindow::Browse_Click);
    return browse;
}

TopRow FileAnalysisWindow::addReportButtons(int browseWidth, int copyWidth) {
    TopRow row(this);
    addBrowse(row, browseWidth);
    copy_ = row.add(QStringLiteral("Copy"), QStringLiteral("Copy"), copyWidth);
    saveReport_ = row.add(QStringLiteral("SaveReport"), QStringLiteral("Save Report..."), 130);
    connect(copy_, &QPushButton::clicked, this, &FileAnalysisWindow::Copy_Click);
    connect(saveReport_, &QPushButton::clicked, this, &FileAnalysisWindow::SaveReport_Click);
    updateReportButtons();
    return row;
}

void FileAnalysisWindow::updateReportButtons() {
    for (QPushButton* button : {copy_, saveReport_}) {
        if (button) {
            button->setEnabled(hasReport());
        }
    }
}

void FileAnalysisWindow::Copy_Click() {
    if (hasReport()) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(reportText()));
    }
}

void FileAnalysisWindow::SaveReport_Click() {
    if (!hasReport()) {
        return; // the button waits for a result
    }
    if (const std::optional<QString> chosen = chooseReportPath(this)) {
        saveFile(*chosen, reportJson() + '\n');
    }
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

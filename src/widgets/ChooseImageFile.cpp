#include "widgets/ChooseImageFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>

namespace vantrel {
namespace {

ImageFileChooser& InstalledChooser() {
    static ImageFileChooser chooser;
    return chooser;
}

std::optional<QString> ShowDialog(QWidget* owner) {
    QFileDialog dialog(owner, QStringLiteral("Select Image File"),
                       QCoreApplication::applicationDirPath());
    dialog.setNameFilters({QStringLiteral("PNG Files (*.png)"), QStringLiteral("BMP Files (*.bmp)"),
                           QStringLiteral("JPG Files (*.jpg)"), QStringLiteral("All Files (*.*)")});
    dialog.selectNameFilter(QStringLiteral("PNG Files (*.png)"));
    // The chosen file need not exist: the load reports what it finds.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

} // namespace

std::optional<QString> ChooseImageFile(QWidget* owner) {
    std::optional<QString> chosen =
        InstalledChooser() ? InstalledChooser()(owner) : ShowDialog(owner);
    if (!chosen || chosen->isEmpty()) {
        return std::nullopt;
    }
    const qsizetype nul = chosen->indexOf(QChar(u'\0'));
    if (nul >= 0) {
        chosen->truncate(nul);
    }
    return chosen;
}

void SetImageFileChooser(ImageFileChooser chooser) {
    InstalledChooser() = std::move(chooser);
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace vantrel

#include "widgets/ChooseImageFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>

namespace vantrel {
namespace {

const QString kAllFiles = QStringLiteral("All Files (*.*)");

std::optional<QString> ShowDialog(QWidget* owner) {
    std::unique_ptr<QFileDialog> dialog = MakeImageFileDialog(owner);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog->selectedFiles().front();
}

} // namespace

std::unique_ptr<QFileDialog> MakeImageFileDialog(QWidget* owner) {
    auto dialog = std::make_unique<QFileDialog>(owner, QStringLiteral("Select Image File"),
                                                QCoreApplication::applicationDirPath());
    dialog->setNameFilters({QStringLiteral("PNG Files (*.png)"),
                            QStringLiteral("BMP Files (*.bmp)"),
                            QStringLiteral("JPG Files (*.jpg)"), kAllFiles});
    dialog->selectNameFilter(QStringLiteral("PNG Files (*.png)"));
    // The chosen file need not exist: the load reports what it finds.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // Qt reads "*.*" literally and hides names without a dot, which content detection loads:
    // under "All Files" the list shows every file.
    QObject::connect(dialog.get(), &QFileDialog::filterSelected, dialog.get(),
                     [dialog = dialog.get()](const QString& filter) {
                         if (filter == kAllFiles) {
                             if (auto* model = dialog->findChild<QFileSystemModel*>()) {
                                 model->setNameFilters({QStringLiteral("*")});
                             }
                         }
                     });
    return dialog;
}

std::optional<QString> ChooseImageFile(QWidget* owner, const ImageFileChooser& chooser) {
    std::optional<QString> chosen = chooser ? chooser(owner) : ShowDialog(owner);
    if (!chosen || chosen->isEmpty()) {
        return std::nullopt;
    }
    const qsizetype nul = chosen->indexOf(QChar(u'\0'));
    if (nul >= 0) {
        chosen->truncate(nul);
    }
    return chosen;
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace vantrel

#include "widgets/ChooseImageFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>

#include <algorithm>

namespace vantrel {
namespace {

const QString kAllFiles = QStringLiteral("All Files (*.*)");

// The formats the decoder reads, with the name endings a user gives them. The patterns are
// listed in both cases: the dialog matches them case-sensitively on Linux.
struct FormatFilter {
    const char* name;
    const char* endings;
};
constexpr FormatFilter kFormats[] = {
    {"PNG", "png"},
    {"JPEG", "jpg jpeg jpe jfif"},
    {"BMP", "bmp dib"},
    {"GIF", "gif"},
    {"TIFF", "tif tiff"},
    {"WebP", "webp"},
    {"JPEG 2000", "jp2 j2k j2c jpc"},
    {"JPEG XR", "jxr wdp hdp"},
    {"Photoshop", "psd"},
    {"Camera raw", "nef cr2 dng arw orf raf rw2 pef"},
};

QString Patterns(const char* endings) {
    QStringList patterns;
    for (const QString& ending : QString::fromLatin1(endings).split(u' ')) {
        patterns << QStringLiteral("*.") + ending << QStringLiteral("*.") + ending.toUpper();
    }
    return patterns.join(u' ');
}

std::optional<QString> ShowDialog(QWidget* owner, const OpenFileRequest& request) {
    std::unique_ptr<QFileDialog> dialog = MakeImageFileDialog(owner, request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog->selectedFiles().front();
}

} // namespace

OpenFileRequest ImageFileRequest() {
    return {QStringLiteral("Select Image File"),
            QCoreApplication::applicationDirPath(),
            {QStringLiteral("PNG Files (*.png)"), QStringLiteral("BMP Files (*.bmp)"),
             QStringLiteral("JPG Files (*.jpg)"), kAllFiles}};
}

OpenFileRequest AnalysisFileRequest(const QString& folder, const QStringList& leading) {
    QStringList every;
    QStringList first;
    QStringList rest;
    for (const FormatFilter& format : kFormats) {
        const QString patterns = Patterns(format.endings);
        every << patterns;
        const QString filter = QStringLiteral("%1 (%2)").arg(QLatin1String(format.name), patterns);
        (leading.contains(QLatin1String(format.name)) ? first : rest) << filter;
    }
    // The leading formats in the order the window named them.
    std::sort(first.begin(), first.end(), [&leading](const QString& a, const QString& b) {
        const auto rank = [&leading](const QString& filter) {
            return leading.indexOf(filter.left(filter.indexOf(QStringLiteral(" ("))));
        };
        return rank(a) < rank(b);
    });
    return {QStringLiteral("Select Image File"), folder,
            first + QStringList{QStringLiteral("All images (%1)").arg(every.join(u' '))} + rest +
                QStringList{kAllFiles}};
}

std::unique_ptr<QFileDialog> MakeImageFileDialog(QWidget* owner, const OpenFileRequest& request) {
    auto dialog = std::make_unique<QFileDialog>(owner, request.title, request.folder);
    dialog->setNameFilters(request.filters);
    if (!request.filters.isEmpty()) {
        dialog->selectNameFilter(request.filters.front());
    }
    // Both cases of every ending make long filters: the list shows their names only.
    dialog->setOption(QFileDialog::HideNameFilterDetails, request.filters.size() > 4);
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

std::optional<QString> ChooseImageFile(QWidget* owner, const ImageFileChooser& chooser,
                                       const OpenFileRequest& request) {
    std::optional<QString> chosen = chooser ? chooser(owner, request) : ShowDialog(owner, request);
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

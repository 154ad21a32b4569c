#pragma once
// The open-image dialog, behind a seam that tests replace to choose files without a dialog.
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace vantrel {

using ImageFileChooser = std::function<std::optional<QString>(QWidget* owner)>;

// Shows the "Select Image File" dialog, or asks `chooser` when one is given; nothing on cancel.
std::optional<QString> ChooseImageFile(QWidget* owner, const ImageFileChooser& chooser = {});

// The "Select Image File" dialog, set up but not shown.
std::unique_ptr<QFileDialog> MakeImageFileDialog(QWidget* owner);

// The path bytes FreeImage and the file system take for a displayed path.
std::string PathBytes(const QString& path);

} // namespace vantrel

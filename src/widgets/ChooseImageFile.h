#pragma once
// The open-image dialog, behind a seam that tests replace to choose files without a dialog.
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace vantrel {

using ImageFileChooser = std::function<std::optional<QString>(QWidget* owner)>;

// Shows the "Select Image File" dialog (or asks the installed chooser); nothing on cancel.
std::optional<QString> ChooseImageFile(QWidget* owner);

// Replaces the dialog; an empty function restores it.
void SetImageFileChooser(ImageFileChooser chooser);

// The path bytes FreeImage and the file system take for a displayed path.
std::string PathBytes(const QString& path);

} // namespace vantrel

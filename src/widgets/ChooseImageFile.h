#pragma once
// The open-image dialog, behind a seam that tests replace to choose files without a dialog.
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace vantrel {

// What an open dialog is asked for: its title, the folder it opens in, and its name filters,
// the first one selected.
struct OpenFileRequest {
    QString title;
    QString folder;
    QStringList filters;
};

using ImageFileChooser =
    std::function<std::optional<QString>(QWidget* owner, const OpenFileRequest& request)>;

// The "Select Image File" dialog of the original windows: PNG, BMP, JPG and all files, PNG
// selected, opening in the program's folder.
OpenFileRequest ImageFileRequest();

// The analysis windows' dialog: opening in `folder`, a filter of every format the decoder reads,
// then one per format, then all files; the formats named in `leading` ("JPEG", "BMP") come first
// of all, the first of them selected.
OpenFileRequest AnalysisFileRequest(const QString& folder, const QStringList& leading = {});

// Shows the dialog of `request`, or asks `chooser` when one is given; nothing on cancel.
std::optional<QString> ChooseImageFile(QWidget* owner, const ImageFileChooser& chooser = {},
                                       const OpenFileRequest& request = ImageFileRequest());

// The dialog of `request`, set up but not shown.
std::unique_ptr<QFileDialog>
MakeImageFileDialog(QWidget* owner, const OpenFileRequest& request = ImageFileRequest());

// The path bytes FreeImage and the file system take for a displayed path.
std::string PathBytes(const QString& path);

} // namespace vantrel

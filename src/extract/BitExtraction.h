#pragma once
// The bit-extraction window: an image, a bit layout chosen with controls or typed as text, the
// layout's bytes in a hex and text view, a scan of every layout whose findings list ranked (a
// click selects the layout; a JPEG's JSteg layouts are scanned too), and the payload saved to a
// file. The load and the scan are runs
// of the window's one thread.
#include "widgets/FileAnalysisWindow.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vantrel {

namespace extract {
struct ExtractionImage;
struct Finding;
struct Layout;
struct ScanResult;
} // namespace extract

class BitExtraction : public FileAnalysisWindow {
    Q_OBJECT

public:
    explicit BitExtraction(QWidget* parent = nullptr);
    ~BitExtraction() override; // where the findings' type is complete

    // Where "Save Payload..." writes; tests answer without a dialog. Nothing cancels.
    std::function<std::optional<QString>(QWidget*)> chooseSavePath;

    void loadFile(const QString& path) override;
    bool isScanning() const { return isRunning() && scanning_; }

public slots:
    void Scan_Click();
    void Save_Click();
    void Findings_Click(int row);

signals:
    void fileLoaded();
    void scanFinished();

private:
    void controlsChanged();
    void layoutTextEntered();
    void showLayout(const extract::Layout& layout);
    void showBytes();
    void fileRead(const QString& path, std::shared_ptr<const extract::ExtractionImage> image);
    void scanEnded(extract::ScanResult& result);
    void showRawRows();
    std::optional<extract::Layout> currentLayout() const;

    QPushButton* Browse;
    QLabel* FileLabel;
    QComboBox* Bits;
    QLineEdit* Channels;
    QComboBox* Packing;
    QComboBox* Order;
    QCheckBox* Prime;
    QLineEdit* LayoutText;
    QPlainTextEdit* HexView;
    QPushButton* Scan;
    QCheckBox* ScanPrime;
    QCheckBox* ShowRaw;
    QProgressBar* Progress;
    QTableWidget* Findings;
    QPushButton* Save;
    QLabel* Summary;

    // Shared with a scan going, which reads its rows.
    std::shared_ptr<const extract::ExtractionImage> image_;
    std::string path_; // of image_
    std::vector<extract::Finding> found_;
    bool updating_ = false;
    bool scanning_ = false;
};

} // namespace vantrel

#pragma once
// The bit-extraction window: an image, a bit layout chosen with controls or typed as text, the
// layout's bytes in a hex and text view, a scan of every layout whose findings list ranked (a
// click selects the layout), and the payload saved to a file. The scan runs on its own thread;
// its progress and results come back as queued calls.
#include "image/Image.h"
#include "widgets/WindowJob.h"
#include "widgets/WindowKit.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
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
struct Finding;
struct Layout;
class SampleImage;
} // namespace extract

class BitExtraction : public ChildWindow {
    Q_OBJECT

public:
    void stopWork() override { job_.stop(); }
    explicit BitExtraction(QWidget* parent = nullptr);
    ~BitExtraction() override;

    // Where "Save Payload..." writes; tests answer without a dialog. Nothing cancels.
    std::function<std::optional<QString>(QWidget*)> chooseSavePath;

    void loadFile(const QString& path);
    bool isScanning() const { return job_.running() && !scanDone_; }

public slots:
    void Browse_Click();
    void Scan_Click();
    void Save_Click();
    void Findings_Click(int row);

signals:
    void scanFinished();

private:
    void controlsChanged();
    void layoutTextEntered();
    void showLayout(const extract::Layout& layout);
    void showBytes();
    void scanEnded(std::shared_ptr<std::vector<extract::Finding>> findings, bool cancelled,
                   std::size_t layouts);
    std::optional<extract::Layout> currentLayout() const;

    QPushButton* browse_;
    QLabel* fileLabel_;
    QComboBox* bits_;
    QLineEdit* channels_;
    QComboBox* packing_;
    QComboBox* order_;
    QCheckBox* prime_;
    QLineEdit* layoutText_;
    QPlainTextEdit* hexView_;
    QPushButton* scan_;
    QCheckBox* scanPrime_;
    QProgressBar* progress_;
    QTableWidget* findings_;
    QPushButton* save_;
    QLabel* summary_;

    SharedImage bitmap_; // owns the rows image_ reads
    std::unique_ptr<extract::SampleImage> image_;
    std::vector<extract::Finding> found_;
    bool updating_ = false;
    WindowJob job_;
    std::atomic<bool> scanDone_{false};
};

} // namespace vantrel

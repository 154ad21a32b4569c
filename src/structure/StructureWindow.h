#pragma once
// The File Structure window: a file, browsed for or dropped, walked part by part in a decoder
// process; its anomalies first, the part tree beside a hex view of the file, the metadata texts,
// and the carved regions and a cut PNG's repaired copy saved.
#include "structure/FileStructure.h"
#include "widgets/FileAnalysisWindow.h"

#include <QAbstractScrollArea>
#include <QFile>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantrel {

using structure::Carved;
using structure::FileStructure;

// Offset, 16 bytes in hex and as ASCII a row, with one range highlighted. Only the rows on
// screen are read from the file, so a file of any size costs one page of memory.
class HexView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit HexView(QWidget* parent = nullptr);
    void openFile(const QString& path);
    // Highlights the range and scrolls to its first row.
    void setSelection(std::uint64_t offset, std::uint64_t length);
    std::uint64_t selectionOffset() const { return selected_; }
    std::uint64_t selectionLength() const { return selectedLength_; }
    std::uint64_t firstVisibleOffset() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int rowHeight() const;
    int visibleRows() const;
    void updateRange();

    QFile file_;
    std::uint64_t size_ = 0;
    std::uint64_t selected_ = 0;
    std::uint64_t selectedLength_ = 0;
};

class StructureWindow : public FileAnalysisWindow {
    Q_OBJECT

public:
    explicit StructureWindow(QWidget* parent = nullptr);
    ~StructureWindow() override;

    // Where a carved item, the repaired PNG and the report go: a dialog unless replaced (tests
    // choose without one).
    std::function<std::optional<QString>(QWidget* owner, const QString& caption,
                                         const QString& suggested)>
        chooseSavePath;

    const FileStructure* structure() const { return structure_.get(); }

public slots:
    void loadFile(const QString& path) override;
    void SaveCarved_Click();
    void SaveRepaired_Click();

signals:
    void structureShown();

private:
    void showStructure(std::shared_ptr<const FileStructure> structure);
    void clearResults();
    void select(QTreeWidgetItem* item);
    const Carved* chosenCarved() const;
    void updateButtons();
    bool hasReport() const override { return structure_ != nullptr; }
    std::string reportText() const override;
    std::string reportJson() const override;

    QPushButton* SaveCarved = nullptr;
    QPushButton* SaveRepaired = nullptr;
    QLabel* FileLabel = nullptr;
    QLabel* Info = nullptr;
    QTreeWidget* Anomalies = nullptr;
    QTreeWidget* Parts = nullptr;
    QTreeWidget* Texts = nullptr;
    QTreeWidget* CarvedList = nullptr;
    HexView* Hex = nullptr;

    std::string path_;
    std::shared_ptr<const FileStructure> structure_;
};

} // namespace vantrel

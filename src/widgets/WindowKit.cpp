#include "widgets/WindowKit.h"

#include "image/Result.h"

#include "widgets/PictureBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyle>

#include <cmath>
#include <fstream>
#include <initializer_list>

namespace vantrel {

int Twips(int twips) {
    return static_cast<int>(std::nearbyint(twips / 15.0));
}

QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

void PlaceTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(TwipsRect(left, top, width, height));
}

QFont ConsolasFont(double pointSize, bool bold) {
    // Consolas where installed; otherwise DejaVu Sans Mono, the monospaced font Debian ships.
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const QString& wanted :
             {QStringLiteral("Consolas"), QStringLiteral("DejaVu Sans Mono")}) {
            if (families.contains(wanted)) {
                return wanted;
            }
        }
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }();
    QFont font(family);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

namespace {

// One colour for the same role of a window, an input field and a button.
void SetPaletteColour(QWidget* widget, std::initializer_list<QPalette::ColorRole> roles,
                      const QColor& colour) {
    QPalette palette = widget->palette();
    for (const QPalette::ColorRole role : roles) {
        palette.setColor(role, colour);
    }
    widget->setPalette(palette);
}

} // namespace

void SetBackgroundColour(QWidget* widget, const QColor& colour) {
    SetPaletteColour(widget, {QPalette::Window, QPalette::Base, QPalette::Button}, colour);
    widget->setAutoFillBackground(true);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    SetPaletteColour(widget, {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}, colour);
}

namespace {

const QColor kFailureColour(200, 40, 40);

// The whole text where the label's rows hold it, else with as much of its middle left out as
// they need; the caller keeps the whole text in the tool tip.
QString FitToLabel(const QLabel& label, const QString& text) {
    const QFontMetrics metrics(label.font());
    if (!label.wordWrap()) {
        return metrics.elidedText(text, Qt::ElideMiddle, label.width());
    }
    const auto fits = [&](const QString& shown) {
        return metrics.boundingRect(QRect(0, 0, label.width(), 1 << 20), Qt::TextWordWrap, shown)
                   .height() <= label.height();
    };
    int room = label.width() * std::max(1, label.height() / metrics.lineSpacing());
    QString shown = text;
    while (!fits(shown) && room > 0) {
        shown = metrics.elidedText(text, Qt::ElideMiddle, room);
        room -= metrics.averageCharWidth();
    }
    return shown;
}

// A label's text must fit its height: glyphs below the baseline (underscores) are cut off
// otherwise, so the font shrinks in quarter points until its ascent and descent fit.
void FitFontToHeight(QWidget* widget) {
    QFont font = widget->font();
    const int height = widget->height();
    while (font.pointSizeF() > 4 &&
           QFontMetrics(font).ascent() + QFontMetrics(font).descent() > height) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    widget->setFont(font);
}

} // namespace

QPushButton* MakeButton(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& toolTip, int left, int top, int width, int height) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setToolTip(toolTip);
    button->setFont(ConsolasFont());
    PlaceTwips(button, left, top, width, height);
    return button;
}

QPushButton* TopRow::add(const QString& objectName, const QString& caption, int width) {
    auto* button = new QPushButton(caption, parent_);
    button->setObjectName(objectName);
    button->setFont(ConsolasFont());
    button->setGeometry(left_, 8, width, 26);
    left_ += width + 6;
    return button;
}

std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& caption,
                                      const QString& suggested, const QString& filter) {
    const QString chosen = QFileDialog::getSaveFileName(owner, caption, suggested, filter);
    return chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen);
}

QLabel* MakeLabel(QWidget* parent, const QString& objectName, const QString& text, int left,
                  int top, int width, int height) {
    return MakeLabel(parent, objectName, text, TwipsRect(left, top, width, height));
}

QLabel* MakeLabel(QWidget* parent, const QString& objectName, const QString& text,
                  const QRect& pixels) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setFont(ConsolasFont());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Labels show file names, paths and file texts: never read as markup.
    label->setTextFormat(Qt::PlainText);
    // Placed first: the font fits the label's own height.
    label->setGeometry(pixels);
    FitFontToHeight(label);
    return label;
}

PictureBox* MakePicture(QWidget* parent, const QString& objectName, int left, int top, int width,
                        int height, const QColor& background, bool framed) {
    auto* picture = new PictureBox(parent);
    picture->setObjectName(objectName);
    picture->setBackground(background);
    picture->setFramed(framed);
    const int border = framed ? 4 : 0;
    picture->move(Twips(left), Twips(top));
    picture->setSurfaceSize(std::max(Twips(width) - border, 0),
                            std::max(Twips(height) - border, 0));
    return picture;
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

namespace {

QPixmap DrawEye(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    QPainterPath eye;
    eye.moveTo(0.04 * s, 0.5 * s);
    eye.quadTo(0.5 * s, 0.02 * s, 0.96 * s, 0.5 * s);
    eye.quadTo(0.5 * s, 0.98 * s, 0.04 * s, 0.5 * s);
    painter.setPen(QPen(QColor(20, 20, 20), std::max(1.0, s / 16)));
    painter.setBrush(Qt::white);
    painter.drawPath(eye);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 100, 220));
    painter.drawEllipse(QPointF(0.5 * s, 0.5 * s), 0.2 * s, 0.2 * s);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QPointF(0.5 * s, 0.5 * s), 0.09 * s, 0.09 * s);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(0.44 * s, 0.44 * s), 0.035 * s, 0.035 * s);
    return pixmap;
}
} // namespace

QIcon ApplicationIcon() {
    static const QIcon icon = [] {
        QIcon made;
        made.addPixmap(DrawEye(16));
        made.addPixmap(DrawEye(32));
        return made;
    }();
    return icon;
}

ChildWindow::ChildWindow(QWidget* parent)
    : QWidget(parent), recentFolder_(std::make_shared<QString>()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(ApplicationIcon());
}

void ChildWindow::setClientSizeTwips(int width, int height) {
    setClientSize(Twips(width), Twips(height));
}

void ChildWindow::setClientSize(int width, int height) {
    resize(width, height);
    if (QMdiSubWindow* frame = subWindow()) {
        frame->adjustSize();
        KeepInMdiArea(frame);
    }
}

void ChildWindow::setOuterSizeTwips(int width, int height) {
    outerSize_ = QSize(Twips(width), Twips(height));
    setOuterSize(outerSize_);
}

void ChildWindow::setOuterSize(const QSize& size) {
    if (QMdiSubWindow* frame = subWindow()) {
        frame->resize(size);
        KeepInMdiArea(frame);
    } else {
        resize(size);
    }
}

QMdiSubWindow* ChildWindow::subWindow() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

QWidget* ChildWindow::outerWindow() {
    if (QMdiSubWindow* frame = subWindow()) {
        return frame;
    }
    return this;
}

void ChildWindow::closeWindow() {
    if (QMdiSubWindow* frame = subWindow()) {
        frame->close();
    } else {
        close();
    }
}

void ChildWindow::closeEvent(QCloseEvent* event) {
    closing_ = true;
    emit closing();
    QWidget::closeEvent(event);
}

void ChildWindow::reportFailure(std::string_view message) {
    reportFailure(QString::fromStdString(std::string(message)));
}

void ChildWindow::reportFailure(const QString& message) {
    const QString line = QString::fromStdString(OneLine(message.toStdString()));
    if (failureLine_) {
        failureLine_->setText(FitToLabel(*failureLine_, line));
        failureLine_->setToolTip(line);
        SetTextColour(failureLine_, kFailureColour);
    }
    reportStatus(line);
}

void ChildWindow::setFailureLine(QLabel* line) {
    failureLine_ = line;
}

void ChildWindow::clearFailure() {
    if (failureLine_) {
        failureLine_->clear();
        failureLine_->setToolTip({});
        SetTextColour(failureLine_, palette().color(QPalette::WindowText));
    }
}

bool ChildWindow::saveFile(const QString& target, std::string_view bytes) {
    std::ofstream out(PathBytes(target), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        reportFailure(QStringLiteral("Could not write %1").arg(target));
        return false;
    }
    reportStatus(QStringLiteral("Saved %1 bytes to %2").arg(bytes.size()).arg(target));
    return true;
}

bool ChildWindow::saveFile(const QString& target, std::span<const std::uint8_t> bytes) {
    return saveFile(target,
                    std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void ChildWindow::reportStatus(const QString& message) {
    lastStatus_ = message;
    emit statusMessage(message);
}

void ChildWindow::openChild(ChildWindow* child) {
    if (!child->fileChooser()) {
        child->setFileChooser(chooser_);
    }
    child->setRecentFolder(recentFolder_);
    QMdiSubWindow* frame = subWindow();
    if (frame != nullptr && frame->mdiArea() != nullptr) {
        AddToMdiArea(frame->mdiArea(), child);
    } else {
        child->show();
    }
    emit childOpened(child);
}

void AddToMdiArea(QMdiArea* area, ChildWindow* window) {
    QMdiSubWindow* frame = area->addSubWindow(window);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setWindowIcon(window->windowIcon());
    if (!window->hasMinMaxButtons()) {
        frame->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowCloseButtonHint);
    }
    if (window->outerSize().isEmpty()) {
        frame->adjustSize();
    } else {
        frame->resize(window->outerSize());
    }
    PlaceInMdiArea(frame);
    frame->show();
    window->show();
}

QPoint CascadePosition(const QSize& area, const QSize& window, int index, int step) {
    const int roomX = area.width() - window.width();
    const int roomY = area.height() - window.height();
    if (roomX < 0 || roomY < 0) {
        return {0, 0};
    }
    const int places = std::min(roomX, roomY) / std::max(step, 1) + 1;
    const int offset = (std::max(index, 0) % places) * step;
    return {offset, offset};
}

namespace {

// The area's scroll bars show whenever a window reaches past the visible part.
void ShowScrollBarsWhenNeeded(QMdiArea* area) {
    if (area->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) {
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    if (area->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) {
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
}

} // namespace

void PlaceInMdiArea(QMdiSubWindow* frame) {
    QMdiArea* area = frame->mdiArea();
    if (area == nullptr) {
        return;
    }
    int before = 0;
    for (QMdiSubWindow* other : area->subWindowList(QMdiArea::CreationOrder)) {
        before += other != frame && other->isVisible() && !other->isMinimized();
    }
    // One title bar down and right per window, so every title stays readable.
    const int step = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame) + 4;
    const QSize visible = area->viewport()->size();
    if (frame->width() > visible.width() || frame->height() > visible.height()) {
        ShowScrollBarsWhenNeeded(area);
    }
    frame->move(CascadePosition(visible, frame->size(), before, step));
}

void KeepInMdiArea(QMdiSubWindow* frame) {
    QMdiArea* area = frame->mdiArea();
    if (area == nullptr || frame->isMaximized() || frame->isMinimized()) {
        return;
    }
    const QSize visible = area->viewport()->size();
    if (frame->width() > visible.width() || frame->height() > visible.height()) {
        // As one that opens too large: from the top-left, the rest reached by scrolling.
        ShowScrollBarsWhenNeeded(area);
        frame->move(0, 0);
        return;
    }
    frame->move(std::min(frame->x(), visible.width() - frame->width()),
                std::min(frame->y(), visible.height() - frame->height()));
}

QString FileTitle(const QString& path) {
    const QFileInfo file(path);
    return QStringLiteral("%1 \u2014 %2")
        .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()));
}

void YieldToEvents() {
    QCoreApplication::processEvents();
}

} // namespace vantrel

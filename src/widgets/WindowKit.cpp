#include "widgets/WindowKit.h"

#include "image/Result.h"

#include "widgets/PictureBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <cmath>

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

void SetBackgroundColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Button, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

namespace {

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

QPushButton* MakeTopButton(QWidget* parent, const QString& objectName, const QString& caption,
                           int left, int width) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setFont(ConsolasFont());
    button->setGeometry(left, 8, width, 26);
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

ChildWindow::ChildWindow(QWidget* parent) : QWidget(parent) {
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
    }
}

void ChildWindow::setOuterSizeTwips(int width, int height) {
    outerSize_ = QSize(Twips(width), Twips(height));
    if (QMdiSubWindow* frame = subWindow()) {
        frame->resize(outerSize_);
    } else {
        resize(outerSize_);
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
    reportStatus(QString::fromStdString(OneLine(message)));
}

void ChildWindow::reportStatus(const QString& message) {
    lastStatus_ = message;
    emit statusMessage(message);
}

void ChildWindow::openChild(ChildWindow* child) {
    if (!child->fileChooser()) {
        child->setFileChooser(chooser_);
    }
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
    frame->show();
    window->show();
}

void YieldToEvents() {
    QCoreApplication::processEvents();
}

} // namespace vantrel

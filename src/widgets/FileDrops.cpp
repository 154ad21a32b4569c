#include "widgets/FileDrops.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace vantrel {
namespace {

// The first dropped address when it names a local file; empty otherwise.
QString DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty() ||
        !data->urls().front().isLocalFile()) {
        return {};
    }
    return data->urls().front().toLocalFile();
}

class FileDropFilter : public QObject {
public:
    FileDropFilter(QWidget* target, std::function<void(const QString&)> open)
        : QObject(target), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!DroppedFile(drag->mimeData()).isEmpty()) {
                drag->acceptProposedAction();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QString path = DroppedFile(drop->mimeData());
            if (path.isEmpty()) {
                drop->ignore();
            } else {
                drop->acceptProposedAction();
                open_(path);
            }
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    std::function<void(const QString&)> open_;
};

} // namespace

void AcceptFileDrops(QWidget* target, std::function<void(const QString&)> open) {
    target->setAcceptDrops(true);
    target->installEventFilter(new FileDropFilter(target, std::move(open)));
}

} // namespace vantrel

#pragma once
// Local image files dropped on a widget (a picture slot, a whole window) open as Browse would.
#include <QString>

#include <functional>

class QWidget;

namespace vantrel {

// `target` takes drops of local files from now on and hands the first dropped file's path to
// `open`; anything else dropped (text, remote addresses) is refused.
void AcceptFileDrops(QWidget* target, std::function<void(const QString&)> open);

} // namespace vantrel

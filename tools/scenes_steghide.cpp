#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "steghide/SteghideWindow.h"

#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

namespace vantrel::render {

// A word-list hit on a stego the real steghide made.
void RenderSteghideScenes(MDIForm1& main, const Inputs& inputs) {
    const QString folder = QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/steghide/");
    auto* window = new SteghideWindow;
    main.addChildWindow(window);
    QEventLoop loop;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    QObject::connect(window, &SteghideWindow::coverLoaded, &loop, &QEventLoop::quit);
    window->loadFile(folder + "jpeg-default.jpg");
    loop.exec();
    window->chooseWordList = [folder](QWidget*) {
        return std::optional<QString>(folder + "words.txt");
    };
    window->WordList_Click();
    QObject::connect(window, &SteghideWindow::runFinished, &loop, &QEventLoop::quit);
    window->TryWordList_Click();
    loop.exec();
    Save(window->outerWindow(), inputs, "steghide.png");
}

} // namespace vantrel::render

#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "verdict/VerdictWindow.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTableWidget>
#include <QTimer>

namespace vantrel::render {

// A folder of mixed files (clean, stego of several tools, a planted archive, a broken file) with
// the test word list, the steghide JPEG's evidence shown.
void RenderVerdictScenes(MDIForm1& main, const Inputs& inputs) {
    const QString data = QStringLiteral(VANTREL_SOURCE_DIR "/tests/data/");
    const QString folder = QDir::temp().filePath(QStringLiteral("vantrel-render-verdict"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (const char* file : {"jpeg/chelsea-q85.jpg", "jpeg/chelsea-f5.jpg", "extract/stegano.png",
                             "extract/steggy.png", "steghide/jpeg-default.jpg",
                             "steghide/bmp24-default.bmp", "structure/appended-zip.png",
                             "structure/comment-zip.jpg", "structure/clean.gif", "truncated.png"}) {
        QFile::copy(data + file, folder + "/" + QString(file).section('/', -1));
    }
    VerdictWindow* window = main.FileVerdict_Click();
    window->chooseWordList = [&](QWidget*) {
        return std::optional<QString>(data + "steghide/words.txt");
    };
    window->WordList_Click();
    QEventLoop loop;
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    QObject::connect(window, &VerdictWindow::finished, &loop, &QEventLoop::quit);
    window->loadFile(folder);
    loop.exec();
    auto* files = window->findChild<QTableWidget*>(QStringLiteral("Files"));
    for (int row = 0; row < files->rowCount(); ++row) {
        if (files->item(row, 0)->text().endsWith(QStringLiteral("jpeg-default.jpg"))) {
            files->setCurrentCell(row, 0);
        }
    }
    Save(window->outerWindow(), inputs, "verdict.png");
    QDir(folder).removeRecursively();
}

} // namespace vantrel::render

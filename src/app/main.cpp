#include "app/MDIForm1.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Steganalysis workbench for still images. Each pair of files opens a "
                       "one-window analysis of a test image and its original."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("TEST"), QStringLiteral("the image to examine"),
                                 QStringLiteral("[TEST"));
    parser.addPositionalArgument(QStringLiteral("ORIGINAL"),
                                 QStringLiteral("its clean original, when at hand"),
                                 QStringLiteral("[ORIGINAL]]..."));
    parser.process(application);
    vantrel::MDIForm1 window;
    window.show();
    window.openFiles(parser.positionalArguments());
    return QApplication::exec();
}

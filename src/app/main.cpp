#include "app/MDIForm1.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstring>

namespace {

void DescribeCommandLine(QCommandLineParser& parser) {
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
}

// --help and --version are answered before the application connects to a display, so they work
// where there is none (a terminal over ssh, a package build). Nothing else is read here: Qt's
// own options (-platform, -style) are the application's to read.
void AnswerWithoutDisplay(int argc, char* argv[]) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const bool help = std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
                          std::strcmp(argv[i], "--help-all") == 0 ||
                          std::strcmp(argv[i], "-?") == 0;
        const bool version =
            std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0;
        if (help || version) {
            // A core application reads no display; process() prints the answer and exits 0.
            QCoreApplication core(argc, argv);
            QCommandLineParser parser;
            DescribeCommandLine(parser);
            parser.process(core);
        }
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Vantrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    AnswerWithoutDisplay(argc, argv);
    QApplication application(argc, argv);
    QCommandLineParser parser;
    DescribeCommandLine(parser);
    parser.process(application);
    vantrel::MDIForm1 window;
    window.show();
    window.openFiles(parser.positionalArguments());
    return QApplication::exec();
}

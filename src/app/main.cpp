#include "app/MDIForm1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    vantrel::MDIForm1 window;
    window.show();
    return QApplication::exec();
}

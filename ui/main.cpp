#include <QApplication>

#include "system/StandardClasses.h"
#include "ui/MainFrm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("simQuorvex");
    RegisterStandardClasses();
    CMainFrame window;
    // An optional workspace file to open at start-up.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) window.OpenDocument(arguments.at(1));
    window.show();
    return QApplication::exec();
}

#include <QApplication>

#include "core/system/StandardClasses.h"
#include "ui/MainFrm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("simQuorvex");
    RegisterStandardClasses();
    CMainFrame window;
    window.show();
    return QApplication::exec();
}

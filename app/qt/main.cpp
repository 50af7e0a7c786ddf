// The updater.

#include <QApplication>

#include "app/qt/application.h"

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    // No application display name: Qt would append it to every window title.
    vigie::Application app;
    if (!app.start())
        return 0;
    return qtApp.exec();
}

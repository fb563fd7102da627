// Parlune: signal-to-noise monitor for radio reception.
#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

#include "capture/LeaveProcess.h"
#include "ui/Parlune.h"

int main(int argc, char** argv)
{
    // Answered before Qt starts, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("parlune %s\n", PARLUNE_VERSION);
            return 0;
        }
    }
    // The resources live in a static library: pull them in explicitly.
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Parlune");
    QApplication::setApplicationVersion(PARLUNE_VERSION);
    // Lets Wayland compositors match the window to parlune.desktop and its icon.
    QGuiApplication::setDesktopFileName("parlune");
    QApplication::setWindowIcon(QIcon(":/parlune.png"));
    Parlune w;
    w.Form_Load();
    w.show();
    // Closing has saved the settings and closed the input.
    LeaveProcess(app.exec());
}

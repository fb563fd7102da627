// Parlune: signal-to-noise monitor for radio reception.
#include <QApplication>

#include "ui/Parlune.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Parlune");
    Parlune w;
    w.Form_Load();
    w.show();
    return app.exec();
}

// Parlune: signal-to-noise monitor for radio reception.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Parlune");
    QWidget w;
    w.setWindowTitle("Parlune");
    w.resize(849, 532);
    w.show();
    return app.exec();
}

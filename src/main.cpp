// The program: a bare main window for now; the main window replaces it.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8("Ostrel I 高速编程器"));
    window.resize(700, 500);
    window.show();
    return app.exec();
}

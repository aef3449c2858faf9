// The start-up reference: a bare Qt MDI main window with one black child
// window, nothing else. Built only for the benchmarks.
#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare MDI"));
    window.menuBar()->addMenu(QStringLiteral("File"));
    auto* area = new QMdiArea;
    window.setCentralWidget(area);
    auto* child = new QWidget;
    child->setAutoFillBackground(true);
    QPalette p = child->palette();
    p.setColor(QPalette::Window, Qt::black);
    child->setPalette(p);
    child->setFixedSize(400, 300);
    area->addSubWindow(child)->show();
    window.resize(800, 600);
    window.show();
    return QApplication::exec();
}

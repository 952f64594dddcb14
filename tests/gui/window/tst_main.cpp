// Runs the window test groups in one process, each as its own Qt Test object; fails when any group fails.
#include <QApplication>

int RunWindowStartupTests(int argc, char** argv);
int RunWindowAcquisitionTests(int argc, char** argv);
int RunWindowCloseTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int nFailed = 0;
    nFailed += RunWindowStartupTests(argc, argv) != 0 ? 1 : 0;
    nFailed += RunWindowCloseTests(argc, argv) != 0 ? 1 : 0;
    nFailed += RunWindowAcquisitionTests(argc, argv) != 0 ? 1 : 0;
    return nFailed == 0 ? 0 : 1;
}

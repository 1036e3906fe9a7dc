#include "Cqv_discoveryApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    Cqv_discoveryApp program;
    program.InitInstance();
    return 0;
}

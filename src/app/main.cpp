// Entry point of tk-dedi: hands over to the application object.
#include "batch_app.h"

int main(int argc, char** argv)
{
    return theApp.Run(argc, argv);
}

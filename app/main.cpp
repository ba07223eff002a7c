// Orvex Tool Kit: the application's entry point.
#include "ToolApp.h"
#include "UserInterface.h"

// The one application object.
CToolApp theApp;

int main(int argc, char** argv) {
    CUserInterface ui(argc, argv);
    theApp.InitInstance();
    return 0;
}

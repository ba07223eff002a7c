// A program that needs a DLL of its own beside it: what the import check
// must refuse.
#include "ForeignLibrary.h"

int main() {
    return ForeignValue();
}

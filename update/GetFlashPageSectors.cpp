#include "GetFlashPageSectors.h"

void GetFlashPageSectors(int& nFirst, int& nEnd) {
    nFirst = 0;
    nEnd = 1;
}

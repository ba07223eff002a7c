// What a HEX page file holds, read the one way the update reads it: for the
// update itself (LoadHexImage) and for a check of the file before it is sent.
#pragma once

#include "WinTypes.h"

#include <string>
#include <vector>

class CHexFile;

struct CHexRange {
    int nFirst = 0; // covered addresses [nFirst, nEnd)
    int nEnd = 0;
};

struct CHexReport {
    bool bAccepted = false;        // the update would send this file
    int nLength = 0;               // the image length LoadHexImage gives (0 when refused)
    int nRecords = 0;              // data records placed into the image
    std::vector<CHexRange> ranges; // merged, ascending
    int nLine = 0;                 // 1-based line that made the file refused; 0 if no line's fault
    // The line of the end-of-file record, 0 when the file has none: a file
    // cut short at a line end reads like a whole one without it.
    int nEndLine = 0;
    std::string reason; // why the file is refused, for example "checksum 3C, expected 3D"
};

// Reads a HEX page file as the update does. pImage (64 KiB, prefilled by the
// caller) may be null; for a refused file it may hold part of the data. Data
// records are placed up to the end-of-file record (or the end of the file); a
// damaged line before it, a record running past the page, or a data record
// after a blank line or an address record refuse the whole file, since
// sending part of a page would flash a broken page.
CHexReport ReadHexReport(const std::string& path, BYTE* pImage);
// The same for a file the caller has opened, so it is opened once (a FIFO
// gives its bytes once). Reads it to where the reading ends; it stays open.
CHexReport ReadHexReport(CHexFile& file, BYTE* pImage);

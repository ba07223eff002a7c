// Builds the flash page image from an Intel HEX file.
#pragma once

#include "WinTypes.h"

#include <functional>
#include <string>

// The one flash page the phone takes: 64 KiB, addressed 0 to 65535.
constexpr int kFlashPageSize = 65536;

// Places the file's data records into pImage (kFlashPageSize bytes, already
// 0xFF) and returns the image length: the largest end (address + byte count)
// of the records stored; 0 when the file gave nothing or is refused as
// ReadHexReport says, and then nothing of it may be sent. Shows
// "can not open hex file" when the file cannot be opened. fnBusy, when
// given, is called with true once the file is open and with false when the
// reading is over: the caller's busy cursor, kept out of this library.
int LoadHexImage(const std::string& path, BYTE* pImage,
                 const std::function<void(bool)>& fnBusy = nullptr);

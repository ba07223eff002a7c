// The copy of the image or HEX page into the file that holds it, written
// once for both sides of InputImage.h: a HEX page is kept only as far as the
// HEX reader reads, and no more is kept than an upload can send.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The reason a file longer than an upload can be is refused.
std::string ImageTooLong(const std::string& path);

// Reads at most n bytes into p: their count, 0 at the end, or -1 with
// *pError set.
using ImageReader = std::function<int64_t(char* p, size_t n, std::string* pError)>;
// Writes all n bytes; false with *pError set.
using ImageWriter = std::function<bool(const char* p, size_t n, std::string* pError)>;

// Copies path's bytes from read to write until the end, and sets *pLength
// to how many it kept. False with a one-line reason when reading or writing
// fails, when there is more than an upload can send or when there is no
// byte at all.
bool CopyImage(const std::string& path, bool bHexPage, const ImageReader& read,
               const ImageWriter& write, int64_t* pLength, std::string* pError);

#include "Output.h"

#include <cstdio>

namespace phonesim::out {
namespace {
bool verbose = false;

void line(std::FILE* stream, const std::string& text)
{
    std::fputs("phone-sim: ", stream);
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}
} // namespace

void setVerbose(bool on) { verbose = on; }
void status(const std::string& text) { line(stdout, text); }
void warn(const std::string& text) { line(stderr, text); }

void debug(const std::string& text)
{
    if (verbose)
        line(stderr, text);
}

} // namespace phonesim::out

#include "SaveFile.h"

#include "Output.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace phonesim {

bool SaveFile::open(std::string& error)
{
    fd_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!fd_.valid()) {
        error = "cannot open --save file " + path_ + ": " + errnoText(errno);
        return false;
    }
    return true;
}

void SaveFile::startOver()
{
    // Reopen rather than ftruncate: if a test removed the file in between,
    // the new content must appear under the name again.
    fd_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644));
    if (!fd_.valid())
        out::warn("cannot reopen --save file " + path_ + ": " + errnoText(errno));
}

void SaveFile::append(const std::uint8_t* data, std::size_t size)
{
    while (fd_.valid() && size > 0) {
        const ssize_t written = ::write(fd_.get(), data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            out::warn("writing --save file " + path_ + " failed: " + errnoText(errno));
            return;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

} // namespace phonesim

#pragma once

#include "Net.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace phonesim {

// The --save file: every byte received on update connections, in order.
// Written with plain write(2), no user-space buffering, so a reader sees each
// chunk as soon as the phone has answered it.
class SaveFile {
public:
    explicit SaveFile(std::string path) : path_(std::move(path)) {}

    // Opens without truncating, so a bad path fails at start-up while an
    // earlier run's file stays until a connection actually sends data.
    bool open(std::string& error);
    // Called on the first byte of each new connection.
    void startOver();
    void append(const std::uint8_t* data, std::size_t size);

private:
    std::string path_;
    Fd fd_;
};

} // namespace phonesim

#pragma once

#include "Parse.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace phonesim {

// One simulated phone as it describes itself in a discovery reply.
struct Phone {
    std::uint32_t ip = 0; // host order
    Mac mac{};
    std::string type;   // type-and-version text
    std::string number; // phone number text
    std::uint8_t ipType = 1;
    std::uint8_t loggedOn = 1;
    std::uint8_t busy = 0;
};

constexpr std::size_t kReplySize = 63;
constexpr std::size_t kTypeFieldSize = 30;
constexpr std::size_t kNumberFieldSize = 20;
// Both text fields keep their terminating zero inside the field.
constexpr std::size_t kMaxTypeLength = kTypeFieldSize - 1;
constexpr std::size_t kMaxNumberLength = kNumberFieldSize - 1;

using Reply = std::array<std::uint8_t, kReplySize>;

// Base values for --phones N: phone i gets ip + i, mac + i, number + i.
struct PhoneTemplate {
    std::uint32_t firstIp = 0xC0A80101; // 192.168.1.1
    Mac firstMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    std::string type = "IP Phone v1.0";
    std::uint64_t numberBase = 1000;
    std::uint8_t ipType = 1;
    std::uint8_t loggedOn = 1;
    std::uint8_t busy = 0;
};

// Each returns an error message, or "" on success.
std::string checkPhone(const Phone& phone);
std::string generatePhones(const PhoneTemplate& base, std::size_t count, std::vector<Phone>& out);
std::string parsePhonesText(const std::string& text, const std::string& sourceName,
                            std::vector<Phone>& out);
std::string loadPhonesFile(const std::string& path, std::vector<Phone>& out);

Reply encodeReply(const Phone& phone);

} // namespace phonesim

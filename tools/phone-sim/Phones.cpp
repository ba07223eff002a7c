#include "Phones.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

namespace phonesim {
namespace {

// Adds n to a MAC read as one 48-bit number, so +i carries into higher octets.
bool addToMac(const Mac& base, std::uint64_t n, Mac& out)
{
    std::uint64_t value = 0;
    for (std::uint8_t octet : base)
        value = (value << 8) | octet;
    constexpr std::uint64_t kMax = (std::uint64_t{1} << 48) - 1;
    if (n > kMax - value)
        return false;
    value += n;
    for (std::size_t i = out.size(); i-- > 0;) {
        out[i] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
    return true;
}

void putText(Reply& reply, std::size_t offset, std::size_t fieldSize, const std::string& text)
{
    const std::size_t length = std::min(text.size(), fieldSize - 1);
    std::copy_n(text.begin(), length, reply.begin() + static_cast<std::ptrdiff_t>(offset));
}

} // namespace

std::string checkPhone(const Phone& phone)
{
    if (phone.type.size() > kMaxTypeLength)
        return "type text \"" + phone.type + "\" is longer than " + std::to_string(kMaxTypeLength)
            + " bytes";
    if (phone.number.size() > kMaxNumberLength)
        return "phone number \"" + phone.number + "\" is longer than "
            + std::to_string(kMaxNumberLength) + " bytes";
    if (phone.type.find('\0') != std::string::npos || phone.number.find('\0') != std::string::npos)
        return "text fields cannot hold a zero byte";
    return {};
}

std::string generatePhones(const PhoneTemplate& base, std::size_t count, std::vector<Phone>& out)
{
    out.clear();
    if (count > 0 && count - 1 > 0xFFFFFFFFu - base.firstIp)
        return "--phones " + std::to_string(count) + " runs past 255.255.255.255 from --phone-ip "
            + formatIPv4(base.firstIp);
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Phone phone;
        phone.ip = base.firstIp + static_cast<std::uint32_t>(i);
        if (!addToMac(base.firstMac, i, phone.mac))
            return "--phones " + std::to_string(count) + " runs past ff:ff:ff:ff:ff:ff from --mac "
                + formatMac(base.firstMac);
        if (i > std::numeric_limits<std::uint64_t>::max() - base.numberBase)
            return "--number-base too large for --phones";
        phone.number = std::to_string(base.numberBase + i);
        phone.type = base.type;
        phone.ipType = base.ipType;
        phone.loggedOn = base.loggedOn;
        phone.busy = base.busy;
        if (auto error = checkPhone(phone); !error.empty())
            return error;
        out.push_back(std::move(phone));
    }
    return {};
}

std::string parsePhonesText(const std::string& text, const std::string& sourceName,
                            std::vector<Phone>& out)
{
    out.clear();
    std::istringstream lines(text);
    std::string line;
    for (int lineNumber = 1; std::getline(lines, line); ++lineNumber) {
        const std::string where = sourceName + ":" + std::to_string(lineNumber) + ": ";
        const auto fields = splitFields(line);
        if (!fields)
            return where + "unbalanced or misplaced double quote";
        if (fields->empty())
            continue;
        if (fields->size() != 7)
            return where + "expected 7 fields (ip mac type number iptype loggedon busy), found "
                + std::to_string(fields->size());
        const auto& f = *fields;
        Phone phone;
        const auto ip = parseIPv4(f[0]);
        if (!ip)
            return where + "bad IPv4 address \"" + f[0] + "\"";
        const auto mac = parseMac(f[1]);
        if (!mac)
            return where + "bad MAC address \"" + f[1] + "\"";
        phone.ip = *ip;
        phone.mac = *mac;
        phone.type = f[2];
        phone.number = f[3];
        const char* const byteNames[] = {"iptype", "loggedon", "busy"};
        std::uint8_t* const bytes[] = {&phone.ipType, &phone.loggedOn, &phone.busy};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto value = parseByte(f[4 + i]);
            if (!value)
                return where + "bad " + byteNames[i] + " \"" + f[4 + i] + "\" (0..255 or 0x00..0xff)";
            *bytes[i] = *value;
        }
        if (auto error = checkPhone(phone); !error.empty())
            return where + error;
        out.push_back(std::move(phone));
    }
    return {};
}

std::string loadPhonesFile(const std::string& path, std::vector<Phone>& out)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "cannot read phones file " + path;
    std::ostringstream text;
    text << file.rdbuf();
    return parsePhonesText(text.str(), path, out);
}

Reply encodeReply(const Phone& phone)
{
    Reply reply{};
    for (std::size_t i = 0; i < 4; ++i)
        reply[i] = static_cast<std::uint8_t>(phone.ip >> (24 - 8 * i));
    std::copy(phone.mac.begin(), phone.mac.end(), reply.begin() + 4);
    putText(reply, 10, kTypeFieldSize, phone.type);
    putText(reply, 40, kNumberFieldSize, phone.number);
    reply[60] = phone.ipType;
    reply[61] = phone.loggedOn;
    reply[62] = phone.busy;
    return reply;
}

} // namespace phonesim

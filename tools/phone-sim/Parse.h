#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Text parsers for the command line and the phones file. All are strict:
// anything but the documented form is rejected rather than guessed at.
namespace phonesim {

using Mac = std::array<std::uint8_t, 6>;

// Decimal digits only (no sign, no octal surprise from a leading zero).
std::optional<std::uint64_t> parseUnsigned(const std::string& text, std::uint64_t max);

// Decimal 0..255 or hexadecimal 0x00..0xff.
std::optional<std::uint8_t> parseByte(const std::string& text);

// Dotted quad "A.B.C.D"; result in host byte order.
std::optional<std::uint32_t> parseIPv4(const std::string& text);
std::string formatIPv4(std::uint32_t hostOrder);

// Six two-digit hex octets separated by ':' or '-'.
std::optional<Mac> parseMac(const std::string& text);
std::string formatMac(const Mac& mac);

// Pairs of hex digits; whitespace between pairs is ignored. "" is an empty string.
std::optional<std::vector<std::uint8_t>> parseHexBytes(const std::string& text);

// Splits on sep; empty items are kept so the caller can reject them.
std::vector<std::string> splitList(const std::string& text, char sep);

// Splits one phones-file line into fields: whitespace separates them, a field
// may be double-quoted to hold spaces (\" and \\ escape inside quotes), and
// '#' outside quotes starts a comment. nullopt when a quote is left open.
std::optional<std::vector<std::string>> splitFields(const std::string& line);

} // namespace phonesim

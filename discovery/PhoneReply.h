// The reply a phone sends to a discovery probe, and its seven column texts.
#pragma once

#include "WinTypes.h"

#include <array>
#include <cstddef>
#include <string>

// The 63-byte record as it comes off the wire; bytes after it are ignored.
struct PhoneReply {
    BYTE ip[4];      // first octet first
    BYTE mac[6];     // first octet first
    char type[30];   // type and version, zero-terminated inside the field
    char number[20]; // phone number, zero-terminated inside the field
    BYTE ipType;     // 0 static, 1 dhcp, 2 pppoe, 3 modem
    BYTE loggedOn;   // 1 yes
    BYTE busy;       // 1 yes
};
static_assert(sizeof(PhoneReply) == 63, "the record has no padding");

// IP Address, Mac Address, Type & Version, IP Type, Phone Number, Log on, Busy.
using PhoneTexts = std::array<std::string, 7>;

// Decodes nLength received bytes. A reply shorter than the record is ignored
// (false, with a diagnostic line); no byte beyond nLength or beyond a field's
// end is read, so a text without its zero byte ends at its field's end.
bool DecodePhoneReply(const BYTE* pData, size_t nLength, PhoneTexts* pTexts);

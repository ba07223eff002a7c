#include "PhoneReply.h"

#include "Trace.h"

#include <cstdio>
#include <cstring>

namespace {
// A text field ends at its first zero byte, or at the field's end.
std::string FieldText(const char* pField, size_t nSize) {
    const void* pZero = memchr(pField, 0, nSize);
    return std::string(pField, pZero != nullptr ? static_cast<const char*>(pZero) - pField : nSize);
}

const char* IpTypeText(BYTE nType) {
    switch (nType) {
    case 0:
        return "static";
    case 1:
        return "dhcp";
    case 2:
        return "pppoe";
    case 3:
        return "modem";
    default:
        return "";
    }
}

const char* YesNo(BYTE nFlag) {
    return nFlag == 1 ? "Yes" : "No";
}
} // namespace

bool DecodePhoneReply(const BYTE* pData, size_t nLength, PhoneTexts* pTexts) {
    if (nLength < sizeof(PhoneReply)) {
        OutputDebugStringA("Phone reply of " + std::to_string(nLength) + " bytes shorter than " +
                           std::to_string(sizeof(PhoneReply)) + " ignored\n");
        return false;
    }
    PhoneReply reply;
    memcpy(&reply, pData, sizeof reply);
    char text[32];
    snprintf(text, sizeof text, "%d.%d.%d.%d", reply.ip[0], reply.ip[1], reply.ip[2], reply.ip[3]);
    (*pTexts)[0] = text;
    snprintf(text, sizeof text, "%02x-%02x-%02x-%02x-%02x-%02x", reply.mac[0], reply.mac[1],
             reply.mac[2], reply.mac[3], reply.mac[4], reply.mac[5]);
    (*pTexts)[1] = text;
    (*pTexts)[2] = FieldText(reply.type, sizeof reply.type);
    (*pTexts)[3] = IpTypeText(reply.ipType);
    (*pTexts)[4] = FieldText(reply.number, sizeof reply.number);
    (*pTexts)[5] = YesNo(reply.loggedOn);
    (*pTexts)[6] = YesNo(reply.busy);
    return true;
}

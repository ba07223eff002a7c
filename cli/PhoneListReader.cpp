#include "PhoneListReader.h"

#include "Ipv4Text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

const char kBlanks[] = " \t\r\n\f\v";

std::string Trim(const std::string& text) {
    const size_t nFirst = text.find_first_not_of(kBlanks);
    if (nFirst == std::string::npos)
        return std::string();
    return text.substr(nFirst, text.find_last_not_of(kBlanks) - nFirst + 1);
}

// Printable, short, and without control characters, for an error line.
std::string Quoted(const std::string& text) {
    std::string shown;
    for (char c : text.substr(0, 40))
        shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return "\"" + shown + (text.size() > 40 ? "...\"" : "\"");
}

int LineOfOffset(const std::string& text, int nOffset) {
    int nLine = 1;
    for (int i = 0; i < nOffset && i < static_cast<int>(text.size()); ++i)
        nLine += text[static_cast<size_t>(i)] == '\n';
    return nLine;
}

bool ReadJson(const std::string& text, std::vector<DWORD>* pPhones, std::string* pError) {
    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<int>(text.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        *pError = "line " + std::to_string(LineOfOffset(text, error.offset)) + ": " +
                  error.errorString().toStdString();
        return false;
    }
    if (!doc.isArray()) {
        *pError = "line 1: not a JSON array";
        return false;
    }
    const QJsonArray phones = doc.array();
    for (int i = 0; i < phones.size(); ++i) {
        const QJsonValue entry = phones.at(i);
        const QJsonValue ip = entry.isObject() ? entry.toObject().value("ip") : entry;
        const std::string address = ip.toString().toStdString();
        DWORD dwAddress = 0;
        if (!ip.isString() || !ParseIpv4(address, &dwAddress)) {
            *pError = "entry " + std::to_string(i + 1) + ": " +
                      (ip.isString() ? Quoted(address) + " is not an IPv4 address"
                                     : std::string("no \"ip\" address"));
            return false;
        }
        pPhones->push_back(dwAddress);
    }
    return true;
}

} // namespace

bool ReadPhoneList(const std::string& text, std::vector<DWORD>* pPhones, std::string* pError) {
    pPhones->clear();
    const size_t nFirst = text.find_first_not_of(kBlanks);
    if (nFirst != std::string::npos && text[nFirst] == '[') {
        if (ReadJson(text, pPhones, pError))
            return true;
        pPhones->clear();
        return false;
    }
    int nLine = 0;
    size_t nStart = 0;
    while (nStart < text.size()) {
        size_t nEnd = text.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = text.size();
        ++nLine;
        const std::string line = Trim(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
        if (line.empty() || line[0] == '#')
            continue;
        DWORD dwAddress = 0;
        if (!ParseIpv4(line, &dwAddress)) {
            *pError =
                "line " + std::to_string(nLine) + ": " + Quoted(line) + " is not an IPv4 address";
            pPhones->clear();
            return false;
        }
        pPhones->push_back(dwAddress);
    }
    return true;
}

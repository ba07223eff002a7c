#include "PhoneListReader.h"

#include "Ipv4Text.h"
#include "JsonReader.h"

#include <algorithm>
#include <numeric>

namespace {

const char kBlanks[] = " \t\r\n\f\v";
// What an editor on another platform may put before the first address.
const char kUtf8Bom[] = "\xEF\xBB\xBF";

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

int LineOfOffset(const std::string& text, size_t nOffset) {
    int nLine = 1;
    for (size_t i = 0; i < nOffset && i < text.size(); ++i)
        nLine += text[i] == '\n';
    return nLine;
}

bool ReadJson(const std::string& text, std::vector<DWORD>* pPhones, std::string* pError,
              bool bOnlyFailed) {
    nlohmann::json doc;
    std::string reason;
    size_t nOffset = 0;
    if (!ReadJsonDocument(text, &doc, &reason, &nOffset)) {
        *pError = "line " + std::to_string(LineOfOffset(text, nOffset)) + ": " + reason;
        return false;
    }
    if (!doc.is_array()) {
        *pError = "line 1: not a JSON array";
        return false;
    }
    const nlohmann::json none;
    const auto field = [&none](const nlohmann::json& fields, const char* pszKey) -> const auto& {
        const auto it = fields.find(pszKey);
        return it != fields.end() ? *it : none;
    };
    for (size_t i = 0; i < doc.size(); ++i) {
        const nlohmann::json& entry = doc[i];
        // A listed phone has its "ip", a reported one its "address".
        const nlohmann::json& ip = !entry.is_object()     ? entry
                                   : entry.contains("ip") ? entry["ip"]
                                                          : field(entry, "address");
        const nlohmann::json& ok = field(entry, "ok");
        if (bOnlyFailed && !ok.is_boolean()) {
            *pError = "entry " + std::to_string(i + 1) +
                      ": no \"ok\" (--only-failed reads the JSON that --report writes)";
            return false;
        }
        const std::string address = ip.is_string() ? ip.get<std::string>() : std::string();
        DWORD dwAddress = 0;
        if (!ip.is_string() || !ParseIpv4(address, &dwAddress)) {
            *pError = "entry " + std::to_string(i + 1) + ": " +
                      (ip.is_string() ? Quoted(address) + " is not an IPv4 address"
                                      : std::string("no \"ip\" address"));
            return false;
        }
        if (!bOnlyFailed || !ok.get<bool>())
            pPhones->push_back(dwAddress);
    }
    return true;
}

} // namespace

bool ReadPhoneList(const std::string& given, std::vector<DWORD>* pPhones, std::string* pError,
                   bool bOnlyFailed) {
    pPhones->clear();
    const size_t nBom = given.rfind(kUtf8Bom, 0) == 0 ? sizeof kUtf8Bom - 1 : 0;
    const std::string text = given.substr(nBom);
    const size_t nFirst = text.find_first_not_of(kBlanks);
    if (nFirst != std::string::npos && text[nFirst] == '[') {
        if (ReadJson(text, pPhones, pError, bOnlyFailed))
            return true;
        pPhones->clear();
        return false;
    }
    if (bOnlyFailed) {
        *pError = "line 1: not a report (--only-failed reads the JSON that --report writes)";
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

std::vector<DWORD> RemoveRepeatedPhones(const std::vector<DWORD>& given,
                                        std::vector<DWORD>* pRepeated) {
    // Positions sorted by address, the earlier first among equals: the head
    // of each run of one address is its first occurrence.
    std::vector<size_t> order(given.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&given](size_t nA, size_t nB) {
        return given[nA] != given[nB] ? given[nA] < given[nB] : nA < nB;
    });
    enum Occurrence : char { Later, Once, FirstOfMore };
    std::vector<Occurrence> occurrence(given.size(), Later);
    size_t nHead = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i == 0 || given[order[i - 1]] != given[order[i]]) {
            nHead = order[i];
            occurrence[nHead] = Once;
        } else {
            occurrence[nHead] = FirstOfMore;
        }
    }
    std::vector<DWORD> phones;
    if (pRepeated != nullptr)
        pRepeated->clear();
    for (size_t i = 0; i < given.size(); ++i) {
        if (occurrence[i] != Later)
            phones.push_back(given[i]);
        if (occurrence[i] == FirstOfMore && pRepeated != nullptr)
            pRepeated->push_back(given[i]);
    }
    return phones;
}

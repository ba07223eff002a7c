#include "RowFilter.h"

namespace {

// The --where names of the seven columns, in the dialog's order.
const char* const kFields[] = {"address", "mac",       "type-version", "ip-type",
                               "number",  "logged-on", "busy"};

// Whether the set starting at glob[nOpen] == '[' holds c; nNext gets the
// position after its ']'. False with nNext 0 when the set is not closed, so
// the '[' stands for itself.
bool MatchSet(const std::string& glob, size_t nOpen, unsigned char c, size_t* pnNext) {
    size_t n = nOpen + 1;
    const bool bNegated = n < glob.size() && (glob[n] == '!' || glob[n] == '^');
    if (bNegated)
        ++n;
    bool bFound = false;
    // A ']' first in the set is one of its members.
    for (bool bFirst = true; n < glob.size() && (bFirst || glob[n] != ']'); bFirst = false) {
        unsigned char low = static_cast<unsigned char>(glob[n]);
        if (low == '\\' && n + 1 < glob.size())
            low = static_cast<unsigned char>(glob[++n]);
        unsigned char high = low;
        if (n + 2 < glob.size() && glob[n + 1] == '-' && glob[n + 2] != ']') {
            n += 2;
            high = static_cast<unsigned char>(glob[n]);
            if (high == '\\' && n + 1 < glob.size())
                high = static_cast<unsigned char>(glob[++n]);
        }
        bFound = bFound || (low <= c && c <= high);
        ++n;
    }
    if (n >= glob.size()) {
        *pnNext = 0;
        return false;
    }
    *pnNext = n + 1;
    return bFound != bNegated;
}

} // namespace

const char CRowFilter::kFieldNames[] =
    "address, mac, type-version, ip-type, number, logged-on, busy";

bool CRowFilter::Parse(const std::string& text, std::string* pError) {
    const size_t nEquals = text.find('=');
    if (nEquals == std::string::npos) {
        *pError = "--where \"" + text + "\": FIELD=GLOB or FIELD!=GLOB";
        return false;
    }
    m_bNegated = nEquals > 0 && text[nEquals - 1] == '!';
    const std::string field = text.substr(0, nEquals - (m_bNegated ? 1 : 0));
    m_glob = text.substr(nEquals + 1);
    for (size_t i = 0; i < PhoneTexts().size(); ++i) {
        if (field == kFields[i]) {
            m_nColumn = i;
            return true;
        }
    }
    *pError = "--where \"" + text + "\": no field \"" + field + "\" (" + kFieldNames + ")";
    return false;
}

bool CRowFilter::Matches(const PhoneTexts& texts) const {
    return MatchGlob(m_glob, texts[m_nColumn]) != m_bNegated;
}

bool MatchGlob(const std::string& glob, const std::string& text) {
    size_t g = 0;
    size_t t = 0;
    // Where to go on after the last '*' when what follows it fails: that
    // star takes one byte more. Earlier stars need never take more, so this
    // runs in time glob size times text size at worst.
    size_t gStar = std::string::npos;
    size_t tStar = 0;
    while (t < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[t]);
        if (g < glob.size() && glob[g] == '*') {
            gStar = ++g;
            tStar = t;
            continue;
        }
        if (g < glob.size()) {
            size_t gNext = g + 1;
            bool bMatch = false;
            if (glob[g] == '?') {
                bMatch = true;
            } else if (glob[g] == '[') {
                bMatch = MatchSet(glob, g, c, &gNext);
                if (gNext == 0) {
                    gNext = g + 1;
                    bMatch = c == '[';
                }
            } else if (glob[g] == '\\' && g + 1 < glob.size()) {
                bMatch = static_cast<unsigned char>(glob[g + 1]) == c;
                gNext = g + 2;
            } else {
                bMatch = static_cast<unsigned char>(glob[g]) == c;
            }
            if (bMatch) {
                g = gNext;
                ++t;
                continue;
            }
        }
        if (gStar == std::string::npos)
            return false;
        g = gStar;
        t = ++tStar;
    }
    while (g < glob.size() && glob[g] == '*')
        ++g;
    return g == glob.size();
}

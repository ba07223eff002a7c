#include "ScriptedSeams.h"

#include <algorithm>

CScriptedSeams::CScriptedSeams() : m_pPrevious(GetUserSeams()) {
    SetUserSeams(this);
}

CScriptedSeams::~CScriptedSeams() {
    SetUserSeams(m_pPrevious);
}

void CScriptedSeams::QueueAnswer(int nButton) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.push_back(nButton);
}

void CScriptedSeams::QueueFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_files.push_back(path);
}

void CScriptedSeams::MapTimeout(DWORD from, DWORD to) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timeouts[from] = to;
}

void CScriptedSeams::OnMessage(std::function<void(const CShownMessage&)> fn) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fnOnMessage = std::move(fn);
}

std::vector<CShownMessage> CScriptedSeams::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<std::string> CScriptedSeams::Texts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> texts;
    for (const CShownMessage& m : m_messages)
        texts.push_back(m.text);
    return texts;
}

std::vector<COpenFileRequest> CScriptedSeams::FileRequests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fileRequests;
}

std::vector<DWORD> CScriptedSeams::Sleeps() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sleeps;
}

std::vector<DWORD> CScriptedSeams::Timeouts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timeoutsAsked;
}

int CScriptedSeams::MessageBox(const std::string& text, UINT nType) {
    std::function<void(const CShownMessage&)> fn;
    int nButton;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back({text, nType});
        fn = m_fnOnMessage;
        if (!m_answers.empty()) {
            nButton = m_answers.front();
            m_answers.pop_front();
        } else {
            nButton = (nType & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
        }
    }
    if (fn)
        fn({text, nType});
    return nButton;
}

bool CScriptedSeams::OpenFile(const COpenFileRequest& request, std::string* pPath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fileRequests.push_back(request);
    if (m_files.empty())
        return false;
    std::string path = m_files.front();
    m_files.pop_front();
    if (path.empty())
        return false;
    *pPath = path;
    return true;
}

DWORD CScriptedSeams::Timeout(DWORD dwMilliseconds) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::find(m_timeoutsAsked.begin(), m_timeoutsAsked.end(), dwMilliseconds) ==
        m_timeoutsAsked.end())
        m_timeoutsAsked.push_back(dwMilliseconds);
    auto it = m_timeouts.find(dwMilliseconds);
    return it != m_timeouts.end() ? it->second : dwMilliseconds;
}

void CScriptedSeams::Sleep(DWORD dwMilliseconds) {
    DWORD dwActual;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sleeps.push_back(dwMilliseconds);
        auto it = m_timeouts.find(dwMilliseconds);
        dwActual = it != m_timeouts.end() ? it->second : dwMilliseconds;
    }
    IUserSeams::Sleep(dwActual);
}

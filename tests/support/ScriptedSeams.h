// Test answers for the user seams: scripted buttons and files, recorded
// messages, and shortened waits.
#pragma once

#include "Seams.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct CShownMessage {
    std::string text;
    UINT nType;
};

class CScriptedSeams : public IUserSeams {
public:
    CScriptedSeams();           // installs itself
    ~CScriptedSeams() override; // restores the previous seams

    // Buttons to press, in order; when none is left the first button
    // (IDOK, or IDYES for a question) is pressed.
    void QueueAnswer(int nButton);
    // Files to choose, in order; an empty string cancels the dialog. When none
    // is left the dialog is cancelled.
    void QueueFile(const std::string& path);
    // Waits for a specified time-out of `from` ms last `to` ms instead.
    void MapTimeout(DWORD from, DWORD to);
    // Runs while a message box is "shown", before it returns.
    void OnMessage(std::function<void(const CShownMessage&)> fn);

    std::vector<CShownMessage> Messages() const;
    std::vector<std::string> Texts() const;
    std::vector<COpenFileRequest> FileRequests() const;
    std::vector<DWORD> Sleeps() const;
    // The specified time-outs asked for, each once, in the order first asked.
    std::vector<DWORD> Timeouts() const;

    int MessageBox(const std::string& text, UINT nType) override;
    bool OpenFile(const COpenFileRequest& request, std::string* pPath) override;
    DWORD Timeout(DWORD dwMilliseconds) override;
    void Sleep(DWORD dwMilliseconds) override;

private:
    IUserSeams* m_pPrevious;
    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::deque<std::string> m_files;
    std::map<DWORD, DWORD> m_timeouts;
    std::function<void(const CShownMessage&)> m_fnOnMessage;
    std::vector<CShownMessage> m_messages;
    std::vector<COpenFileRequest> m_fileRequests;
    std::vector<DWORD> m_sleeps;
    std::vector<DWORD> m_timeoutsAsked;
};

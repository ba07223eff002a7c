// A worker's user seams: the file is the image orvex handed over, a
// message box is remembered as the phone's text (the flash-page question is
// answered as the parent was told), and a stop ends every wait and pause.
#pragma once

#include "Seams.h"
#include "WorkerOptions.h"

class CWorkerSeams : public IUserSeams {
public:
    explicit CWorkerSeams(const CWorkerOptions& options) : m_options(options) {}
    int MessageBox(const std::string& text, UINT nType) override;
    bool OpenFile(const COpenFileRequest& request, std::string* pPath) override;
    void Sleep(DWORD dwMilliseconds) override;
    DWORD WaitForAnswer(HEVENT hEvent, DWORD dwMilliseconds) override;
    bool Stopped() override;

    const std::string& LastMessage() const { return m_strLastMessage; }

private:
    const CWorkerOptions& m_options;
    std::string m_strLastMessage;
};

// A worker's user seams: the file is the image orvex handed over, a
// message box is remembered as the phone's text (the flash-page question is
// answered as the parent was told), and the specified time-outs become the
// ones given on the command line.
#pragma once

#include "Seams.h"
#include "WorkerOptions.h"
#include "WorkerOutput.h"

class CWorkerSeams : public IUserSeams {
public:
    CWorkerSeams(const CWorkerOptions& options, CWorkerOutput& output)
        : m_options(options), m_output(output) {}
    int MessageBox(const std::string& text, UINT nType) override;
    bool OpenFile(const COpenFileRequest& request, std::string* pPath) override;
    DWORD Timeout(DWORD dwMilliseconds) override;
    void Sleep(DWORD dwMilliseconds) override;

    const std::string& LastMessage() const { return m_strLastMessage; }

private:
    const CWorkerOptions& m_options;
    CWorkerOutput& m_output;
    std::string m_strLastMessage;
};

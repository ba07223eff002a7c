// Ctrl-C for the parent while it runs its workers: SIGINT and SIGTERM on
// Linux (posix/StopRequest.cpp), Ctrl-C, Ctrl-Break and closing the console
// window on Windows (win32/StopRequest.cpp). CWorkerProcess::WaitAny wakes
// for each request.
#pragma once

class CStopRequest {
public:
    CStopRequest();  // catches the requests from here on
    ~CStopRequest(); // and gives them back to their former handling
    CStopRequest(const CStopRequest&) = delete;
    CStopRequest& operator=(const CStopRequest&) = delete;

    // True when a request came since the last call.
    bool Take();
    // What CWorkerProcess::WaitAny waits on beside the workers: a pipe's
    // read end on Linux, unused on Windows.
    int Fd() const { return m_fds[0]; }

private:
    int m_fds[2] = {-1, -1};
};

// The Windows side of WorkerProcess.h. A worker is this program started
// again with CreateProcess, without a console of its own (DETACHED_PROCESS),
// so that Ctrl-C reaches the parent alone, which then stops each worker
// through its own stop event: an unnamed event the worker inherits, named by
// its handle on the command line (--stop-event). Unnamed, because a name
// could be taken by another program or collide with another orvex; a
// console control (GenerateConsoleCtrlEvent) cannot be aimed at one
// worker, and a console's Ctrl-C would reach every worker besides the
// parent and count twice. Every worker is in one job object that kills its
// processes when its last handle closes, so workers end with the parent
// however it ends. A thread per worker reads its pipe into a buffer and
// wakes the parent's wait.
#include "WorkerProcess.h"

#include "ParentWake.h"

#include <mutex>
#include <thread>
#include <windows.h>

namespace {

// Quoted as the C runtime's command-line parser reads it back.
std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    size_t nBackslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++nBackslashes;
            continue;
        }
        if (c == '"')
            quoted.append(nBackslashes * 2 + 1, '\\');
        else
            quoted.append(nBackslashes, '\\');
        nBackslashes = 0;
        quoted += c;
    }
    quoted.append(nBackslashes * 2, '\\');
    return quoted + "\"";
}

HANDLE TheJob() {
    static const HANDLE hJob = [] {
        const HANDLE h = CreateJobObjectA(nullptr, nullptr);
        if (h == nullptr)
            return h;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return h;
    }();
    return hJob;
}

std::string SelfPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::string();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Inherited only while CreateProcess runs: only this thread starts workers,
// so no other worker takes a handle meant for this one.
class CInheritFor {
public:
    explicit CInheritFor(HANDLE h) : m_h(h) {
        SetHandleInformation(m_h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    ~CInheritFor() { SetHandleInformation(m_h, HANDLE_FLAG_INHERIT, 0); }
    CInheritFor(const CInheritFor&) = delete;
    CInheritFor& operator=(const CInheritFor&) = delete;

private:
    HANDLE m_h;
};

std::string HandleText(HANDLE h) {
    return std::to_string(static_cast<long long>(reinterpret_cast<intptr_t>(h)));
}

} // namespace

void* ParentWakeEvent() {
    static const HANDLE hWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return hWake;
}

struct CWorkerProcess::CState {
    HANDLE hProcess = nullptr;
    HANDLE hPipe = nullptr; // the read end of the worker's standard output
    HANDLE hStop = nullptr; // the worker's stop event
    std::thread reader;
    std::mutex mutex;
    std::string taken; // read from the pipe, not yet passed on
    bool bEnded = false;
    bool bReaped = false;
    DWORD dwExitCode = 0;

    void ReadPipe() {
        char buf[4096];
        DWORD n = 0;
        while (ReadFile(hPipe, buf, sizeof buf, &n, nullptr) && n > 0) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                taken.append(buf, n);
            }
            SetEvent(ParentWakeEvent());
        }
        // ERROR_BROKEN_PIPE: the worker and every copy of its end have gone.
        {
            std::lock_guard<std::mutex> lock(mutex);
            bEnded = true;
        }
        SetEvent(ParentWakeEvent());
    }
};

CWorkerProcess::CWorkerProcess(std::unique_ptr<CState> pState) : m_pState(std::move(pState)) {}

std::unique_ptr<CWorkerProcess> CWorkerProcess::Start(const std::vector<std::string>& args,
                                                      int nKeep) {
    auto pState = std::make_unique<CState>();
    const HANDLE hJob = TheJob();
    const std::string self = SelfPath();
    if (hJob == nullptr || self.empty() || ParentWakeEvent() == nullptr)
        return nullptr;
    HANDLE hWrite = nullptr;
    if (!CreatePipe(&pState->hPipe, &hWrite, nullptr, 0))
        return nullptr;
    pState->hStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Diagnostics never reach the user; the outcome comes as a line.
    const HANDLE hNull =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (pState->hStop == nullptr || hNull == INVALID_HANDLE_VALUE) {
        CloseHandle(hWrite);
        CloseHandle(pState->hPipe);
        if (pState->hStop != nullptr)
            CloseHandle(pState->hStop);
        if (hNull != INVALID_HANDLE_VALUE)
            CloseHandle(hNull);
        return nullptr;
    }

    std::string commandLine = QuoteArgument("orvex");
    for (const auto& arg : args)
        commandLine += " " + QuoteArgument(arg);
    commandLine += " --stop-event " + HandleText(pState->hStop);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hNull;
    startup.hStdOutput = hWrite;
    startup.hStdError = hNull;
    PROCESS_INFORMATION process{};
    BOOL bStarted;
    {
        CInheritFor inheritWrite(hWrite);
        CInheritFor inheritNull(hNull);
        CInheritFor inheritStop(pState->hStop);
        const HANDLE hImage = reinterpret_cast<HANDLE>(static_cast<intptr_t>(nKeep));
        std::unique_ptr<CInheritFor> pInheritImage;
        if (nKeep != -1)
            pInheritImage = std::make_unique<CInheritFor>(hImage);
        // Suspended until it is in the job, so that nothing it does escapes.
        bStarted = CreateProcessA(self.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                  CREATE_SUSPENDED | DETACHED_PROCESS, nullptr, nullptr, &startup,
                                  &process);
    }
    // The parent keeps the read end only, so the pipe ends with the worker.
    CloseHandle(hWrite);
    CloseHandle(hNull);
    if (!bStarted) {
        CloseHandle(pState->hPipe);
        CloseHandle(pState->hStop);
        return nullptr;
    }
    if (!AssignProcessToJobObject(hJob, process.hProcess)) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        CloseHandle(pState->hPipe);
        CloseHandle(pState->hStop);
        return nullptr;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    pState->hProcess = process.hProcess;
    CState* pRaw = pState.get();
    pState->reader = std::thread([pRaw] { pRaw->ReadPipe(); });
    return std::unique_ptr<CWorkerProcess>(new CWorkerProcess(std::move(pState)));
}

CWorkerProcess::~CWorkerProcess() {
    if (!m_pState->bReaped) {
        TerminateProcess(m_pState->hProcess, 1);
        Wait();
    }
    // The pipe has ended with the worker, so the reader has.
    if (m_pState->reader.joinable())
        m_pState->reader.join();
    CloseHandle(m_pState->hPipe);
    CloseHandle(m_pState->hStop);
    CloseHandle(m_pState->hProcess);
}

void CWorkerProcess::WaitAny(const std::vector<CWorkerProcess*>& workers, const CStopRequest&,
                             int nMilliseconds, std::vector<bool>* pReady) {
    const auto readyNow = [&] {
        bool bAny = false;
        for (size_t i = 0; i < workers.size(); ++i) {
            CState& state = *workers[i]->m_pState;
            std::lock_guard<std::mutex> lock(state.mutex);
            (*pReady)[i] = !state.taken.empty() || state.bEnded;
            bAny = bAny || (*pReady)[i];
        }
        return bAny;
    };
    pReady->assign(workers.size(), false);
    // A wake set for output already taken at the last call is spent here.
    if (readyNow())
        return;
    WaitForSingleObject(ParentWakeEvent(),
                        nMilliseconds < 0 ? INFINITE : static_cast<DWORD>(nMilliseconds));
    readyNow();
}

bool CWorkerProcess::Read(std::vector<std::string>* pLines) {
    bool bEnded;
    {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        m_strPending += m_pState->taken;
        m_pState->taken.clear();
        bEnded = m_pState->bEnded;
    }
    size_t nEnd;
    while ((nEnd = m_strPending.find('\n')) != std::string::npos) {
        pLines->push_back(m_strPending.substr(0, nEnd));
        m_strPending.erase(0, nEnd + 1);
    }
    return !bEnded;
}

void CWorkerProcess::Stop() {
    if (!m_pState->bReaped)
        SetEvent(m_pState->hStop);
}

void CWorkerProcess::Kill() {
    if (!m_pState->bReaped)
        TerminateProcess(m_pState->hProcess, 1);
}

std::string CWorkerProcess::Wait() {
    CState& state = *m_pState;
    if (!state.bReaped) {
        WaitForSingleObject(state.hProcess, INFINITE);
        GetExitCodeProcess(state.hProcess, &state.dwExitCode);
        state.bReaped = true;
    }
    return " (status " + std::to_string(state.dwExitCode) + ")";
}

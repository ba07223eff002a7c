#include "FleetUpdate.h"

#include "Ipv4Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string FormatSeconds(double dSeconds) {
    char sz[32];
    snprintf(sz, sizeof sz, "%g", dSeconds);
    return sz;
}

// How often a terminal's lines are redrawn.
constexpr int kTickMs = 100;

} // namespace

CFleetUpdate::CFleetUpdate(const CUpdateOptions& options, const std::vector<DWORD>& phones,
                           IFleetReport& report)
    : m_options(options), m_report(report),
      m_plan(phones.size(), static_cast<size_t>(options.nCanary),
             static_cast<size_t>(options.nMaxFailures)) {
    for (DWORD dwAddress : phones) {
        CPhoneRun run;
        run.dwAddress = dwAddress;
        run.address = FormatIpv4(dwAddress);
        run.state = "waiting";
        m_queue.push_back(m_runs.size());
        m_runs.push_back(run);
    }
}

CFleetUpdate::~CFleetUpdate() = default;

std::vector<std::string> CFleetUpdate::WorkerArgs(const CPhoneRun& run) const {
    // The image by descriptor, never by path: every attempt sends the
    // bytes that were checked.
    std::vector<std::string> args{"worker",
                                  m_options.bFlashPage ? "pflash" : "program",
                                  "--image-fd",
                                  std::to_string(m_options.fdImage),
                                  "--phone",
                                  run.address,
                                  "--connect-timeout",
                                  std::to_string(m_options.dwConnectTimeout),
                                  "--ack-timeout",
                                  std::to_string(m_options.dwAckTimeout),
                                  "--check-timeout",
                                  std::to_string(m_options.dwCheckTimeout)};
    if (m_options.bYes)
        args.push_back("--yes");
    return args;
}

void CFleetUpdate::StartNext() {
    const size_t nJobs = static_cast<size_t>(m_options.nJobs > 0 ? m_options.nJobs : kMaxJobs);
    if (m_plan.TakeBarChange())
        SkipBarred();
    // With --skip-busy no more phones are asked about than could start.
    size_t nHeld = 0;
    for (size_t i = 0; !m_bInterrupted && m_slots.size() + nHeld < nJobs && i < m_queue.size();) {
        const size_t nPhone = m_queue[i];
        // A canary's retry waits behind the phones held back for it.
        if (m_plan.Verdict(nPhone, m_runs[nPhone].nAttempt) != CFleetPlan::Start) {
            ++i;
            continue;
        }
        const CConfirmWatch::EGate gate =
            m_options.bSkipBusy ? m_pWatch->Gate(nPhone) : CConfirmWatch::Pass;
        // A phone in a call waits in the queue and the others go ahead.
        if (gate == CConfirmWatch::Hold || gate == CConfirmWatch::HoldBusy) {
            nHeld += gate == CConfirmWatch::Hold;
            ++i;
            continue;
        }
        m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(i));
        if (gate == CConfirmWatch::SkipBusy) {
            Skip(m_runs[nPhone], "skipped-busy",
                 "busy (a call in progress) for " + FormatSeconds(m_options.dBusyTimeout) +
                     " s; not updated");
            continue;
        }
        CPhoneRun& run = m_runs[nPhone];
        run.stage = CPhoneRun::Running;
        ++run.nAttempt;
        run.state = "connecting";
        run.nBytes = run.nTotal = 0;
        run.bFinished = false;
        run.dSendSeconds = 0;
        run.started = CPhoneRun::Clock::now();
        m_report.OnStart(run);
        CSlot slot{nPhone, CWorkerProcess::Start(WorkerArgs(run), m_options.fdImage)};
        if (!slot.pWorker) {
            Finish(run, "failed", "no worker process could be started");
            continue;
        }
        m_slots.push_back(std::move(slot));
    }
}

void CFleetUpdate::SkipBarred() {
    std::vector<size_t> waiting;
    for (size_t nPhone : m_queue) {
        CPhoneRun& run = m_runs[nPhone];
        if (m_plan.Verdict(nPhone, run.nAttempt) != CFleetPlan::Skip) {
            waiting.push_back(nPhone);
            continue;
        }
        Skip(run, "skipped", m_plan.SkipText());
    }
    m_queue.swap(waiting);
}

void CFleetUpdate::Skip(CPhoneRun& run, const std::string& outcome, const std::string& text) {
    run.outcome = run.state = outcome;
    run.text = text;
    run.stage = CPhoneRun::Finished;
    m_plan.OnFinished(static_cast<size_t>(&run - m_runs.data()), run);
    m_report.OnDone(run);
}

void CFleetUpdate::OnLine(CSlot& slot, const std::string& line) {
    // A line that is no JSON object names no event and is passed over.
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    const auto member = [&event](const char* pszKey) {
        const auto it = event.find(pszKey);
        return it != event.end() ? *it : nlohmann::json();
    };
    const auto text = [&member](const char* pszKey) {
        const nlohmann::json value = member(pszKey);
        return value.is_string() ? value.get<std::string>() : std::string();
    };
    const auto number = [&member](const char* pszKey) {
        const nlohmann::json value = member(pszKey);
        return value.is_number() ? value.get<double>() : 0.0;
    };
    const auto whole = [&member](const char* pszKey) {
        const nlohmann::json value = member(pszKey);
        return value.is_number_integer() ? value.get<long long>()
               : value.is_number()       ? std::llround(value.get<double>())
                                         : 0LL;
    };
    CPhoneRun& run = m_runs[slot.nPhone];
    const std::string kind = text("event");
    if (kind == "state") {
        run.state = text("state");
        m_report.OnProgress(run);
    } else if (kind == "progress") {
        run.dSendSeconds = number("seconds");
        run.nBytes = whole("bytes");
        run.nTotal = whole("total");
        m_report.OnProgress(run);
    } else if (kind == "done") {
        slot.bDone = true;
        run.nBytes = whole("bytes");
        const nlohmann::json finished = member("finished");
        run.bFinished = finished.is_boolean() && finished.get<bool>();
        const std::string outcome = text("outcome");
        const std::string reply = text("text");
        // A worker told to stop says "interrupted" itself, whatever its
        // procedure did on the way out.
        Finish(run, outcome, reply);
    }
}

void CFleetUpdate::OnWorkerEnded(CSlot& slot) {
    const std::string ending = slot.pWorker->Wait();
    slot.bEnded = true;
    CPhoneRun& run = m_runs[slot.nPhone];
    if (!slot.bDone) {
        const std::string why = "worker ended without an outcome" + ending;
        Finish(run, m_bInterrupted ? "interrupted" : "failed",
               m_bInterrupted ? "interrupted" : why);
    }
}

void CFleetUpdate::Finish(CPhoneRun& run, const std::string& outcome, const std::string& text) {
    run.outcome = outcome;
    run.text = text;
    run.bSucceeded = IsSuccessOutcome(outcome);
    run.dSeconds = std::chrono::duration<double>(CPhoneRun::Clock::now() - run.started).count();
    run.state = outcome;
    if (m_pWatch && m_options.bConfirm && outcome == "updating" && !m_bInterrupted) {
        run.state = "confirming";
        run.bSucceeded = false;
        m_pWatch->Watch(static_cast<size_t>(&run - m_runs.data()));
        m_report.OnProgress(run);
        return;
    }
    if (!run.bSucceeded && !IsFinalFailure(outcome) && !m_bInterrupted &&
        run.nAttempt <= m_options.nRetries) {
        m_report.OnRetry(run);
        run.stage = CPhoneRun::Waiting;
        m_queue.push_back(static_cast<size_t>(&run - m_runs.data()));
        return;
    }
    run.stage = CPhoneRun::Finished;
    m_plan.OnFinished(static_cast<size_t>(&run - m_runs.data()), run);
    m_report.OnDone(run);
}

void CFleetUpdate::Interrupt() {
    if (m_bInterrupted) {
        // A second Ctrl-C does not wait for the links to close.
        for (auto& slot : m_slots)
            slot.pWorker->Kill();
        return;
    }
    m_bInterrupted = true;
    for (auto& slot : m_slots)
        slot.pWorker->Stop();
    // A phone watched has begun its update: it is reported as such.
    if (m_pWatch)
        for (size_t nPhone : m_pWatch->Abandon())
            Finish(m_runs[nPhone], m_runs[nPhone].outcome, m_runs[nPhone].text);
    for (size_t nPhone : m_queue) {
        CPhoneRun& run = m_runs[nPhone];
        run.outcome = run.text = run.state = "interrupted";
        run.stage = CPhoneRun::Finished;
        m_report.OnDone(run);
    }
    m_queue.clear();
}

int CFleetUpdate::Run() {
    CStopRequest stop;
    const auto start = CPhoneRun::Clock::now();
    if (m_options.bConfirm || m_options.bSkipBusy) {
        m_pWatch = std::make_unique<CConfirmWatch>(
            CConfirmOptions{m_options.dConfirmTimeout, m_options.dProbeInterval,
                            m_options.expectVersion, m_options.dBusyTimeout});
        m_pWatch->Start(m_runs);
    }
    StartNext();
    auto nextTick = start;
    while (!m_slots.empty() || (m_pWatch && m_pWatch->IsBusy())) {
        std::vector<CWorkerProcess*> workers;
        for (const auto& slot : m_slots)
            workers.push_back(slot.pWorker.get());
        const auto now = CPhoneRun::Clock::now();
        const int nWait = static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now).count()));
        std::vector<bool> ready;
        CWorkerProcess::WaitAny(workers, stop, nWait, &ready);
        if (stop.Take())
            Interrupt();
        for (size_t i = 0; i < m_slots.size(); ++i) {
            if (!ready[i])
                continue;
            std::vector<std::string> lines;
            const bool bOpen = m_slots[i].pWorker->Read(&lines);
            for (const auto& line : lines)
                OnLine(m_slots[i], line);
            if (!bOpen)
                OnWorkerEnded(m_slots[i]);
        }
        if (m_pWatch)
            for (const auto& verdict : m_pWatch->Poll(m_runs))
                Finish(m_runs[verdict.nPhone], verdict.outcome, verdict.text);
        // Workers that have gone leave; a phone run again gets a new one.
        m_slots.erase(std::remove_if(m_slots.begin(), m_slots.end(),
                                     [](const CSlot& slot) { return slot.bEnded; }),
                      m_slots.end());
        StartNext();
        if (CPhoneRun::Clock::now() >= nextTick) {
            m_report.OnTick(m_runs);
            nextTick = CPhoneRun::Clock::now() + std::chrono::milliseconds(kTickMs);
        }
    }
    m_report.OnSummary(m_runs,
                       std::chrono::duration<double>(CPhoneRun::Clock::now() - start).count());
    if (m_bInterrupted)
        return 130;
    return std::all_of(m_runs.begin(), m_runs.end(),
                       [](const CPhoneRun& run) { return run.bSucceeded; })
               ? 0
               : 1;
}

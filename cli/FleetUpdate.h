// Updates many phones at once: a worker process per phone, at most nJobs at
// a time, a failed phone run again up to nRetries times, and Ctrl-C (SIGINT
// or SIGTERM) passed on to every worker so each stops its link through the
// procedure's own failure path.
#pragma once

#include "ConfirmWatch.h"
#include "FleetPlan.h"
#include "FleetReport.h"
#include "PhoneRun.h"
#include "UpdateOptions.h"
#include "WorkerProcess.h"

#include <memory>
#include <vector>

class CFleetUpdate {
public:
    CFleetUpdate(const CUpdateOptions& options, const std::vector<DWORD>& phones,
                 IFleetReport& report);
    ~CFleetUpdate();

    // 0 when every phone succeeded, 1 when any failed, 130 when interrupted.
    int Run();
    // Every phone as it ended (or waits, before Run).
    const std::vector<CPhoneRun>& Runs() const { return m_runs; }

private:
    struct CSlot {
        size_t nPhone;
        std::unique_ptr<CWorkerProcess> pWorker;
        bool bDone = false;  // the worker has reported its outcome
        bool bEnded = false; // and has gone
    };

    std::vector<std::string> WorkerArgs(const CPhoneRun& run) const;
    void StartNext();
    // Reports the waiting phones the plan will never start as skipped.
    void SkipBarred();
    // Reports a phone that is never started.
    void Skip(CPhoneRun& run, const std::string& outcome, const std::string& text);
    void OnLine(CSlot& slot, const std::string& line);
    void OnWorkerEnded(CSlot& slot);
    void Finish(CPhoneRun& run, const std::string& outcome, const std::string& text);
    void Interrupt();

    const CUpdateOptions& m_options;
    IFleetReport& m_report;
    std::vector<CPhoneRun> m_runs;
    std::vector<size_t> m_queue; // phones waiting for a worker, first first
    std::vector<CSlot> m_slots;
    CFleetPlan m_plan;
    std::unique_ptr<CConfirmWatch> m_pWatch; // with --confirm
    bool m_bInterrupted = false;
};

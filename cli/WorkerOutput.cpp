#include "WorkerOutput.h"

#include "JsonText.h"

namespace {
std::string Line(const nlohmann::json& event) {
    return CompactJson(event) + "\n";
}
} // namespace

void CWorkerOutput::State(const std::string& state) {
    m_queue.Add(Line({{"event", "state"}, {"state", JsonText(state)}}));
}

void CWorkerOutput::Progress(long long nBytes, long long nTotal, double dSeconds) {
    m_queue.AddProgress(0, Line({{"event", "progress"},
                                 {"bytes", JsonNumber(static_cast<double>(nBytes))},
                                 {"total", JsonNumber(static_cast<double>(nTotal))},
                                 {"seconds", JsonNumber(dSeconds)}}));
}

void CWorkerOutput::Done(const std::string& outcome, const std::string& text, long long nBytes,
                         bool bFinished) {
    m_queue.Add(Line({{"event", "done"},
                      {"outcome", JsonText(outcome)},
                      {"text", JsonText(text)},
                      {"bytes", JsonNumber(static_cast<double>(nBytes))},
                      {"finished", bFinished}}));
}

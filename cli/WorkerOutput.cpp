#include "WorkerOutput.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
std::string Line(const QJsonObject& event) {
    return QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() + "\n";
}
} // namespace

void CWorkerOutput::State(const std::string& state) {
    m_queue.Add(Line({{"event", "state"}, {"state", QString::fromStdString(state)}}));
}

void CWorkerOutput::Progress(long long nBytes, long long nTotal, double dSeconds) {
    m_queue.AddProgress(0, Line({{"event", "progress"},
                                 {"bytes", static_cast<double>(nBytes)},
                                 {"total", static_cast<double>(nTotal)},
                                 {"seconds", dSeconds}}));
}

void CWorkerOutput::Done(const std::string& outcome, const std::string& text, long long nBytes,
                         bool bFinished) {
    m_queue.Add(Line({{"event", "done"},
                      {"outcome", QString::fromStdString(outcome)},
                      {"text", QString::fromStdString(text)},
                      {"bytes", static_cast<double>(nBytes)},
                      {"finished", bFinished}}));
}

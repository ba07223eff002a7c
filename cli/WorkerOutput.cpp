#include "WorkerOutput.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
std::string Line(const QJsonObject& event) {
    return QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString();
}
} // namespace

void CWorkerOutput::Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    fprintf(m_pOut, "%s\n", line.c_str());
    fflush(m_pOut);
}

void CWorkerOutput::State(const std::string& state) {
    Write(Line({{"event", "state"}, {"state", QString::fromStdString(state)}}));
}

void CWorkerOutput::Progress(long long nBytes, long long nTotal, double dSeconds) {
    Write(Line({{"event", "progress"},
                {"bytes", static_cast<double>(nBytes)},
                {"total", static_cast<double>(nTotal)},
                {"seconds", dSeconds}}));
}

void CWorkerOutput::Done(const std::string& outcome, const std::string& text, long long nBytes,
                         bool bFinished) {
    Write(Line({{"event", "done"},
                {"outcome", QString::fromStdString(outcome)},
                {"text", QString::fromStdString(text)},
                {"bytes", static_cast<double>(nBytes)},
                {"finished", bFinished}}));
}

#pragma once

#include "Net.h"
#include "PollLoop.h"
#include "SaveFile.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace phonesim {

struct UpdateConfig {
    std::uint32_t address = 0x7F000001; // 127.0.0.1, host order
    std::uint16_t port = 8739;
    bool refuse = false;
    bool silent = false;
    bool doubleAck = false;
    std::uint8_t ackByte = 0xFF;
    std::optional<unsigned> stopAfter;
    std::optional<unsigned> closeAfter;
    std::optional<unsigned> resetAfter;
    std::chrono::milliseconds ackDelay{0};
    std::chrono::milliseconds updateBusy{10000};
    std::chrono::milliseconds finishGap{20};
    bool neverBack = false; // after 0x81 the port stays closed for good
};

// The phone's side of the firmware update exchange: 128-byte blocks each
// answered by one byte, then a single finishing byte, told apart from the
// start of a block by the quiet gap that follows it (the tool is
// stop-and-wait, so a lone pending byte followed by silence is the end).
class UpdateServer {
public:
    static constexpr std::size_t kBlockSize = 128;
    static constexpr std::uint8_t kFinishImage = 0x81;

    UpdateServer(PollLoop& loop, UpdateConfig config, SaveFile* save);
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    bool start(std::string& error);
    // "listening on A:P" or "refusing on A:P"; valid after start().
    std::string readyText() const;
    // Told true when the phone goes away to install an image (before the
    // finishing byte's answer leaves) and false when it is back, so that
    // discovery falls silent and returns with it.
    void onUpdating(std::function<void(bool)> listener) { updating_ = std::move(listener); }

private:
    enum class AnswerKind { Block, Finish };

    struct Connection {
        Fd fd;
        std::string peer;
        std::vector<std::uint8_t> partial; // bytes of the block in progress
        bool receivedAny = false;
        bool answering = true;   // false once --stop-after is reached
        bool shuttingDown = false; // FIN sent by --close-after, draining
        std::uint64_t updateBytes = 0;
        unsigned blocksScheduled = 0;
        unsigned blocksAnswered = 0;
        PollLoop::TimerId finishTimer = 0;
        std::vector<PollLoop::TimerId> answerTimers;
        std::vector<std::uint8_t> outbox; // answer bytes send() could not take yet
        enum class After { Nothing, Close, Reset } afterOutbox = After::Nothing;
    };

    bool openListener(std::string& error);
    void closeListener();
    void relisten();
    void onAcceptable();
    void onConnectionEvent(std::uint64_t id, short revents);
    void onData(std::uint64_t id, const std::uint8_t* data, std::size_t size);
    void onFinishGap(std::uint64_t id);
    void scheduleAnswer(std::uint64_t id, AnswerKind kind, std::uint8_t finishingByte);
    void sendAnswer(std::uint64_t id, AnswerKind kind, std::uint8_t finishingByte);
    bool flushOutbox(std::uint64_t id);
    void applyCloseFaults(std::uint64_t id);
    void beginOrderlyClose(std::uint64_t id);
    void beginBusy();
    void closeConnection(std::uint64_t id, bool reset, const std::string& why);

    PollLoop& loop_;
    UpdateConfig config_;
    SaveFile* save_;
    Fd listener_;
    std::uint16_t boundPort_ = 0;
    std::map<std::uint64_t, Connection> connections_;
    std::uint64_t nextId_ = 1;
    PollLoop::TimerId relistenTimer_ = 0;
    std::function<void(bool)> updating_;
};

} // namespace phonesim

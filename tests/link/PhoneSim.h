// Runs tools/phone-sim (its path in PHONE_SIM) as a helper process for the
// life of the object, optionally through a prefix such as `ip netns exec NS`.
#pragma once

#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class CPhoneSim {
public:
    CPhoneSim(const std::vector<std::string>& args, const std::vector<std::string>& prefix = {});
    ~CPhoneSim(); // ends the process by its pid
    CPhoneSim(const CPhoneSim&) = delete;
    CPhoneSim& operator=(const CPhoneSim&) = delete;

    // True once the simulator has said it listens (or refuses) on its address.
    bool IsReady() const { return m_bReady; }
    std::string Output() const;

    static std::string Path(); // "" when PHONE_SIM is not set

private:
    void Drain(int fd);

    pid_t m_pid = -1;
    bool m_bReady = false;
    mutable std::mutex m_mutex;
    std::string m_output;
    std::thread m_reader;
};

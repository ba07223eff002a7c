#include "PeakMemory.h"

#include <dirent.h>
#include <fstream>
#include <set>
#include <string>

bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

double PeakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0; // in kB
    return -1;
}

namespace {
// The process and every process below it, through each thread's children.
void AddTree(pid_t pid, std::set<pid_t>* pPids) {
    if (!pPids->insert(pid).second)
        return;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* pDir = opendir(tasks.c_str());
    if (pDir == nullptr)
        return;
    while (dirent* pEntry = readdir(pDir)) {
        if (pEntry->d_name[0] == '.')
            continue;
        std::ifstream children(tasks + "/" + pEntry->d_name + "/children");
        pid_t child;
        while (children >> child)
            AddTree(child, pPids);
    }
    closedir(pDir);
}

long PssKiB(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line))
        if (line.rfind("Pss:", 0) == 0)
            return std::stol(line.substr(4));
    return 0; // gone between the listing and the read
}
} // namespace

long TreePssKiB(pid_t pid) {
    std::set<pid_t> pids;
    AddTree(pid, &pids);
    long nSum = 0;
    for (pid_t each : pids)
        nSum += PssKiB(each);
    return nSum;
}

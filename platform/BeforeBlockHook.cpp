#include "BeforeBlockHook.h"

#include <algorithm>
#include <vector>

namespace {
// Per thread, so a socket thread's waits never touch the window's hooks.
thread_local std::vector<CBeforeBlockHook*> t_hooks;
} // namespace

CBeforeBlockHook::CBeforeBlockHook(std::function<void()> fnRun) : m_fnRun(std::move(fnRun)) {
    t_hooks.push_back(this);
}

CBeforeBlockHook::~CBeforeBlockHook() {
    t_hooks.erase(std::remove(t_hooks.begin(), t_hooks.end(), this), t_hooks.end());
}

bool CBeforeBlockHook::AnyOnThisThread() {
    return !t_hooks.empty();
}

void CBeforeBlockHook::RunAll() {
    // A copy: a hook may end another hook's owner.
    const std::vector<CBeforeBlockHook*> hooks = t_hooks;
    for (CBeforeBlockHook* pHook : hooks)
        if (std::find(t_hooks.begin(), t_hooks.end(), pHook) != t_hooks.end())
            pHook->m_fnRun();
}

// What a firmware procedure shows of its progress: the progress window's six
// operations. The windowed tool hands its progress dialog, orvex a terminal
// line or JSON events.
#pragma once

#include "WinTypes.h"

#include <string>

class IProgress {
public:
    virtual ~IProgress() = default;
    virtual BOOL Create() = 0;
    virtual void SetStep(int nStep) = 0;
    virtual void SetRange(int nLower, int nUpper) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Advances by one step and returns the old position.
    virtual int StepIt() = 0;
    virtual BOOL DestroyWindow() = 0;
};

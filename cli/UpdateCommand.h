// update-program and update-pflash: checks everything it was given before
// any connection (a bad input is one line on stderr and status 2), asks the
// flash-page question, then updates the phones.
#pragma once

#include "InputImage.h"
#include "UpdateOptions.h"

#include <string>
#include <vector>

class CUpdateCommand {
public:
    explicit CUpdateCommand(const CUpdateOptions& options) : m_options(options) {}
    // 0 every phone succeeded, 1 one failed, 2 bad input, 130 interrupted.
    int Run();

private:
    // Reads the file once and checks what was read.
    bool CheckFile(std::string* pError);
    bool CollectPhones(std::vector<DWORD>* pPhones, std::string* pError) const;
    // The flash-page rule; true when the update may go on.
    bool ConfirmPage(std::string* pError);

    CUpdateOptions m_options;
    CInputImage m_image;
};

// Reads a whole file, "-" standard input, of at most nMaxBytes: never more
// than one byte past it. False with the reason.
bool ReadWholeFile(const std::string& path, size_t nMaxBytes, std::string* pText,
                   std::string* pError);

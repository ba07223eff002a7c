#include "UpdateCommand.h"

#include "ConfirmFlashPageFile.h"
#include "Console.h"
#include "DryRun.h"
#include "FleetUpdate.h"
#include "InputFile.h"
#include "Ipv4Text.h"
#include "JsonReport.h"
#include "OutputQueue.h"
#include "PhoneListReader.h"
#include "ReportFile.h"
#include "Seams.h"
#include "TextReport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

namespace {

const char kPageQuestion[] = "Are you sure about flash page?";
const char kOutputClosed[] = "orvex: standard output is closed; nothing more is written there, "
                             "and the updates run to their end";

// The flash-page question on the terminal; any other text is only shown.
class CTerminalSeams : public IUserSeams {
public:
    int MessageBox(const std::string& text, UINT nType) override {
        if ((nType & MB_TYPEMASK) != MB_YESNO) {
            fprintf(stderr, "orvex: %s\n", text.c_str());
            return IDOK;
        }
        fprintf(stderr, "%s [y/N] ", text.c_str());
        fflush(stderr);
        std::string answer;
        std::getline(std::cin, answer);
        return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y') ? IDYES : IDNO;
    }
    bool OpenFile(const COpenFileRequest&, std::string*) override { return false; }
};

// Without a terminal nobody can answer: the question is refused.
class CNoAnswerSeams : public IUserSeams {
public:
    int MessageBox(const std::string&, UINT nType) override {
        return (nType & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    bool OpenFile(const COpenFileRequest&, std::string*) override { return false; }
};

} // namespace

bool ReadWholeFile(const std::string& path, size_t nMaxBytes, std::string* pText,
                   std::string* pError) {
    const std::string name = path == "-" ? std::string("standard input") : path;
    if (path != "-" && !CheckInputFile(path, false, pError))
        return false;
    const std::unique_ptr<FILE, int (*)(FILE*)> owned(
        path == "-" ? nullptr : fopen(path.c_str(), "rb"), fclose);
    FILE* const pFile = path == "-" ? stdin : owned.get();
    if (pFile == nullptr) {
        *pError = name + ": cannot be read";
        return false;
    }
    // One byte past the bound tells a file of exactly nMaxBytes from a longer
    // one, and no more is ever read: /dev/zero ends here too.
    pText->clear();
    char chunk[65536];
    while (pText->size() <= nMaxBytes) {
        const size_t nWant = std::min(sizeof chunk, nMaxBytes + 1 - pText->size());
        const size_t nGot = fread(chunk, 1, nWant, pFile);
        pText->append(chunk, nGot);
        if (nGot < nWant)
            break;
    }
    if (ferror(pFile)) {
        *pError = name + ": cannot be read";
        return false;
    }
    if (pText->size() > nMaxBytes) {
        *pError = name + ": longer than " + std::to_string(nMaxBytes >> 20) + " MiB";
        return false;
    }
    return true;
}

bool CUpdateCommand::CheckFile(std::string* pError) {
    if (!m_image.Read(m_options.file, m_options.bFlashPage, pError))
        return false;
    m_options.fdImage = m_image.Fd();
    if (m_options.bFlashPage)
        return CheckHexPage(m_options.file, m_image.Path(), pError);
    return true;
}

bool CUpdateCommand::CollectPhones(std::vector<DWORD>* pPhones, std::string* pError) const {
    std::vector<DWORD> given;
    for (const auto& text : m_options.phones) {
        DWORD dwAddress = 0;
        if (!ParseIpv4(text, &dwAddress)) {
            *pError = "--phone \"" + text + "\": not an IPv4 address";
            return false;
        }
        given.push_back(dwAddress);
    }
    if (!m_options.phonesFrom.empty()) {
        std::string text;
        std::vector<DWORD> listed;
        const std::string name =
            m_options.phonesFrom == "-" ? "standard input" : m_options.phonesFrom;
        if (!ReadWholeFile(m_options.phonesFrom, kMaxPhoneListBytes, &text, pError))
            return false;
        if (!ReadPhoneList(text, &listed, pError, m_options.bOnlyFailed)) {
            *pError = name + ": " + *pError;
            return false;
        }
        given.insert(given.end(), listed.begin(), listed.end());
    }
    std::vector<DWORD> repeated;
    *pPhones = RemoveRepeatedPhones(given, &repeated);
    // A list repeated whole would otherwise print a line per phone.
    constexpr size_t kMaxRepeatLines = 10;
    for (size_t i = 0; i < repeated.size() && i < kMaxRepeatLines; ++i)
        fprintf(stderr, "orvex: %s is given more than once; it is updated once\n",
                FormatIpv4(repeated[i]).c_str());
    if (repeated.size() > kMaxRepeatLines)
        fprintf(stderr, "orvex: %zu more phones are given more than once; each is updated once\n",
                repeated.size() - kMaxRepeatLines);
    if (pPhones->empty() && m_options.bOnlyFailed) {
        *pError =
            (m_options.phonesFrom == "-" ? std::string("standard input") : m_options.phonesFrom) +
            ": no phone failed; none to update";
        return false;
    }
    if (pPhones->empty()) {
        *pError = "no phones given (--phone ADDR or --phones-from FILE)";
        return false;
    }
    if (pPhones->size() > kMaxPhones) {
        *pError = std::to_string(pPhones->size()) + " phones given; one run takes at most " +
                  std::to_string(kMaxPhones);
        return false;
    }
    return true;
}

bool CUpdateCommand::ConfirmPage(std::string* pError) {
    if (!m_options.bFlashPage || m_options.bYes)
        return true;
    const bool bTerminal = IsTerminal(fileno(stdin)) && m_options.phonesFrom != "-";
    CTerminalSeams terminal;
    CNoAnswerSeams noAnswer;
    SetUserSeams(bTerminal ? static_cast<IUserSeams*>(&terminal) : &noAnswer);
    const bool bConfirmed = ConfirmFlashPageFile(m_options.file);
    SetUserSeams(nullptr);
    if (bConfirmed) {
        m_options.bYes = true;
        return true;
    }
    *pError = bTerminal ? std::string("not confirmed; nothing sent")
                        : std::string(kPageQuestion) +
                              " No terminal to ask: give --yes to write this file as the page";
    return false;
}

int CUpdateCommand::Run() {
    std::string error;
    std::vector<DWORD> phones;
    CReportFile reportFile(m_options.report);
    if (!CheckFile(&error) || !CollectPhones(&phones, &error) || !ConfirmPage(&error) ||
        (!m_options.report.empty() && !reportFile.Open(&error))) {
        fprintf(stderr, "orvex: %s\n", error.c_str());
        // A retry of a report without failures has nothing to do: done.
        return m_options.bOnlyFailed && phones.empty() && m_options.phones.empty() &&
                       error.find(": no phone failed") != std::string::npos
                   ? 0
                   : 2;
    }
    if (m_options.bDryRun)
        return RunDryRun(m_options, phones, m_image);
    // A reader that goes away (EPIPE) ends the output, never a phone's
    // update; one that stalls holds up nothing but the output.
    KeepRunningWhenReaderGoes();
    const int fdOut = fileno(stdout);
    // Plain lines where the terminal cannot draw in place.
    const bool bDisplay = !m_options.bJson && IsTerminal(fdOut) && StartTerminalDisplay(fdOut);
    COutputQueue out(fdOut, kOutputClosed);
    CJsonReport json(out);
    CTextReport text(out, bDisplay ? fdOut : -1);
    IFleetReport& report = m_options.bJson ? static_cast<IFleetReport&>(json) : text;
    CFleetUpdate fleet(m_options, phones, report);
    int nStatus = fleet.Run();
    out.Finish();
    // Also after Ctrl-C: the run has ended its workers and knows each phone.
    if (!m_options.report.empty() && !reportFile.Commit(fleet.Runs(), &error)) {
        fprintf(stderr, "orvex: %s\n", error.c_str());
        nStatus = nStatus == 0 ? 1 : nStatus;
    }
    return nStatus;
}

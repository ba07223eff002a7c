#include "UpdateCommand.h"

#include "ConfirmFlashPageFile.h"
#include "FleetUpdate.h"
#include "InputFile.h"
#include "Ipv4Text.h"
#include "JsonReport.h"
#include "PhoneListReader.h"
#include "Seams.h"
#include "TextReport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <unistd.h>

namespace {

const char kPageQuestion[] = "Are you sure about flash page?";

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

bool ReadWholeFile(const std::string& path, std::string* pText, std::string* pError) {
    if (path == "-") {
        pText->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    if (!CheckInputFile(path, false, pError))
        return false;
    std::ifstream in(path, std::ios::binary);
    pText->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *pError = path + ": cannot be read";
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
        if (!ReadWholeFile(m_options.phonesFrom, &text, pError))
            return false;
        if (!ReadPhoneList(text, &listed, pError)) {
            *pError = name + ": " + *pError;
            return false;
        }
        given.insert(given.end(), listed.begin(), listed.end());
    }
    for (DWORD dwAddress : given) {
        if (std::find(pPhones->begin(), pPhones->end(), dwAddress) != pPhones->end())
            fprintf(stderr, "orvex: %s is given more than once; it is updated once\n",
                    FormatIpv4(dwAddress).c_str());
        else
            pPhones->push_back(dwAddress);
    }
    if (pPhones->empty()) {
        *pError = "no phones given (--phone ADDR or --phones-from FILE)";
        return false;
    }
    return true;
}

bool CUpdateCommand::ConfirmPage(std::string* pError) {
    if (!m_options.bFlashPage || m_options.bYes)
        return true;
    const bool bTerminal = isatty(STDIN_FILENO) && m_options.phonesFrom != "-";
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
    if (!CheckFile(&error) || !CollectPhones(&phones, &error) || !ConfirmPage(&error)) {
        fprintf(stderr, "orvex: %s\n", error.c_str());
        return 2;
    }
    CJsonReport json(stdout);
    CTextReport text(stdout, isatty(STDOUT_FILENO) != 0);
    IFleetReport& report = m_options.bJson ? static_cast<IFleetReport&>(json) : text;
    return CFleetUpdate(m_options, phones, report).Run();
}

// The Linux side of UserInterface.h, on Qt Widgets.
#include "UserInterface.h"

#include "QtUserSeams.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "Wnd.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QIcon>

struct CUserInterface::CState {
    CState(int& argc, char** argv) : app(argc, argv) {}
    QApplication app;
    CQtUserSeams seams;
};

CUserInterface::CUserInterface(int& argc, char** argv)
    : m_pState(std::make_unique<CState>(argc, argv)) {
    QCoreApplication::setApplicationName(QStringLiteral("OrvexToolKit"));
    if (const QIcon* pIcon = IconFromHandle(AfxLoadIcon(IDR_MAINFRAME)))
        QApplication::setWindowIcon(*pIcon);
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quillmark.OrvexToolKit"));
    InstallTranslator();
    SetUserSeams(&m_pState->seams);
}

CUserInterface::~CUserInterface() {
    SetUserSeams(nullptr);
}

HICON AfxLoadIcon(UINT nIDResource) {
    if (nIDResource != IDR_MAINFRAME)
        return nullptr;
    // One icon with both sizes: the title bar takes the small, the task bar
    // and switcher the large.
    static QIcon* pIcon = [] {
        auto* p = new QIcon;
        p->addFile(QStringLiteral(":/icons/orvex-32.png"), QSize(32, 32));
        p->addFile(QStringLiteral(":/icons/orvex-16.png"), QSize(16, 16));
        return p;
    }();
    return reinterpret_cast<HICON>(pIcon);
}

const QIcon* IconFromHandle(HICON hIcon) {
    return reinterpret_cast<const QIcon*>(hIcon);
}

void AfxSetRegistryKey(const char* pszRegistryKey) {
    // The profile store names the same organisation; Qt's own paths follow it.
    QCoreApplication::setOrganizationName(QString::fromLatin1(pszRegistryKey));
}

void PumpWaitingMessages() {
    // Everything pending, our posted messages included; never waits. Posted
    // events are sent first: a step run from inside a posted event (a queued
    // call) would not get them from a nested processEvents on every dispatcher.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}

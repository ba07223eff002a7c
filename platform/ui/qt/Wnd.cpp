#include "Wnd.h"

#include <QIcon>

BOOL CWnd::EnableWindow(BOOL bEnable) {
    QWidget* pWidget = GetWidget();
    const BOOL bWasDisabled = pWidget->isEnabled() ? FALSE : TRUE;
    pWidget->setEnabled(bEnable != FALSE);
    return bWasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
    return GetWidget()->isEnabled() ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const {
    return GetWidget()->isVisible() ? TRUE : FALSE;
}

void CWnd::SetWindowText(const std::string& text) {
    GetWidget()->setWindowTitle(QString::fromStdString(text));
}

std::string CWnd::GetWindowText() const {
    return GetWidget()->windowTitle().toStdString();
}

CWnd* CWnd::GetTopLevelParent() const {
    return dynamic_cast<CWnd*>(GetWidget()->window());
}

void CWnd::SetIcon(HICON hIcon, BOOL) {
    if (const QIcon* pIcon = IconFromHandle(hIcon))
        GetWidget()->setWindowIcon(*pIcon);
}

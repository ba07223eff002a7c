#include "Dialog.h"

#include "BeforeBlockHook.h"
#include "DialogSink.h"
#include "DialogTemplates.h"
#include "IPAddressCtrl.h"
#include "Seams.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <cstring>

namespace {

QPointer<QWidget> g_pMainWnd;

// A template's control keeps the place and size the template gives it. A
// fixed size also spares the dialog a layout request each time a label's
// text changes.
void Place(QWidget* pControl, const QRect& rect) {
    pControl->setFixedSize(rect.size());
    pControl->move(rect.topLeft());
}

// Win32's MulDiv, which rounds half away from zero.
int MulDiv(int nNumber, int nNumerator, int nDenominator) {
    const long long product = static_cast<long long>(nNumber) * nNumerator;
    const long long half = nDenominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / nDenominator
                                         : (product - half) / nDenominator);
}

// "MS Sans Serif" and "System" are the Windows UI fonts of their day; their
// counterpart is the desktop's own UI font at the template's size.
QFont DialogFont(const CDlgTemplate& tmpl) {
    QFont font;
    if (std::strcmp(tmpl.pszFaceName, "MS Sans Serif") == 0 ||
        std::strcmp(tmpl.pszFaceName, "System") == 0)
        font = QApplication::font();
    else
        font = QFont(QString::fromLatin1(tmpl.pszFaceName));
    font.setPointSize(tmpl.nPointSize);
    return font;
}

bool IsPushButton(const CDlgItemTemplate& item) {
    return std::strcmp(item.pszClass, WC_BUTTON) == 0 && (item.dwStyle & 0x0F) <= BS_DEFPUSHBUTTON;
}

} // namespace

CWnd* AfxGetMainWnd() {
    return g_pMainWnd ? dynamic_cast<CWnd*>(g_pMainWnd.data()) : nullptr;
}

void AfxSetMainWnd(CWnd* pWnd) {
    g_pMainWnd = pWnd != nullptr ? pWnd->GetWidget() : nullptr;
}

// Paints a window's changes at most once a display frame. The timer runs
// while a frame is open; once the frame has had its paint, further changes
// are held (updates off) and painted as the next frame's, when this one ends.
// The procedures block the UI thread in their waits right after a change;
// what the frame holds is painted before, or it would not be seen until the
// wait ends (5 s for an erase).
class CRedrawPacer {
public:
    explicit CRedrawPacer(QWidget* pWindow)
        : m_pWindow(pWindow), m_beforeBlock([this] { PaintBeforeBlocking(); }) {
        m_frame.setSingleShot(true);
        m_frame.setTimerType(Qt::PreciseTimer);
        m_frame.setInterval(kFrameMs);
        QObject::connect(&m_frame, &QTimer::timeout, pWindow, [this] { PaintHeldChanges(); });
    }

    void ContentChanged() {
        // The controls take every change at once; only their painting waits.
        if (!m_frame.isActive()) {
            m_bFramePainted = false; // this change is the new frame's paint
            m_frame.start();
        } else if (m_bFramePainted) {
            m_pWindow->setUpdatesEnabled(false);
        }
    }
    void Painted() { m_bFramePainted = true; }
    // The window goes: a later one starts with painting on.
    void Stop() {
        m_frame.stop();
        m_pWindow->setUpdatesEnabled(true);
    }

private:
    // A display frame at 60 Hz.
    static constexpr int kFrameMs = 16;

    void PaintHeldChanges() {
        if (m_pWindow->updatesEnabled())
            return; // nothing held: the window is idle until the next change
        // Turning updates back on repaints the whole window at the next pump;
        // that paint opens the next frame. A repaint request Qt handled while
        // updates were off left its dirty widgets without a request to come,
        // so one is asked for here.
        m_pWindow->setUpdatesEnabled(true);
        QCoreApplication::postEvent(m_pWindow, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
        m_bFramePainted = false;
        m_frame.start();
    }
    void PaintBeforeBlocking() {
        if (!m_frame.isActive())
            return; // idle: everything shown has been painted
        m_pWindow->setUpdatesEnabled(true);
        m_pWindow->repaint(); // paints and sends it to the display, before the thread blocks
    }

    QWidget* m_pWindow;
    QTimer m_frame;
    bool m_bFramePainted = false;
    CBeforeBlockHook m_beforeBlock;
};

CDialog::CDialog(UINT nIDTemplate, CWnd* pParent)
    : QDialog(nullptr), m_nIDTemplate(nIDTemplate),
      m_pParentWnd(pParent != nullptr ? pParent->GetWidget() : nullptr),
      m_pTemplate(FindDialogTemplate(nIDTemplate)) {}

CDialog::~CDialog() {
    if (m_pSink)
        m_pSink->DestroyWindow();
}

bool CDialog::HasWindow() const {
    return m_bHasWindow;
}

HWND CDialog::GetSafeHwnd() const {
    return m_pSink ? m_pSink->GetSafeHwnd() : 0;
}

LRESULT CDialog::WindowProc(UINT, WPARAM, LPARAM) {
    return 0;
}

QSize CDialog::GetBaseUnits() const {
    QFontMetrics fm(m_pTemplate != nullptr ? DialogFont(*m_pTemplate) : font());
    // The average width of the Latin letters, rounded, as Windows measures it.
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((width / 26 + 1) / 2, fm.height());
}

QRect CDialog::MapDialogRect(const QRect& rect) const {
    const QSize base = GetBaseUnits();
    const int left = MulDiv(rect.x(), base.width(), 4);
    const int top = MulDiv(rect.y(), base.height(), 8);
    const int right = MulDiv(rect.x() + rect.width(), base.width(), 4);
    const int bottom = MulDiv(rect.y() + rect.height(), base.height(), 8);
    return QRect(left, top, right - left, bottom - top);
}

bool CDialog::CreateWindowFromTemplate(QWidget* pParent) {
    if (m_pTemplate == nullptr || m_bHasWindow)
        return false;
    if (pParent != nullptr)
        m_pParentWnd = pParent;
    const CDlgTemplate& tmpl = *m_pTemplate;

    Qt::WindowFlags flags = (tmpl.dwExStyle & WS_EX_APPWINDOW) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if ((tmpl.dwStyle & WS_CAPTION) == WS_CAPTION)
        flags |= Qt::WindowTitleHint;
    if (tmpl.dwStyle & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if ((tmpl.dwStyle & WS_SYSMENU) && (tmpl.dwStyle & WS_MINIMIZEBOX))
        flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    setFont(DialogFont(tmpl));
    setWindowTitle(QString::fromUtf8(tmpl.pszCaption));
    const QRect client = MapDialogRect(QRect(0, 0, tmpl.cx, tmpl.cy));
    setFixedSize(client.size());

    m_nDefID = IDOK;
    m_controls.clear();
    for (int i = 0; i < tmpl.nItems; ++i) {
        const CDlgItemTemplate& item = tmpl.pItems[i];
        const QString text = QString::fromUtf8(item.pszText);
        const bool bTabStop = (item.dwStyle & WS_TABSTOP) != 0;
        QWidget* pWidget = nullptr;
        if (IsPushButton(item)) {
            auto pButton = new QPushButton(text, this);
            pButton->setAutoDefault(false);
            if ((item.dwStyle & 0x0F) == BS_DEFPUSHBUTTON) {
                pButton->setDefault(true);
                m_nDefID = item.nID;
            }
            const int nID = item.nID;
            connect(pButton, &QPushButton::clicked, this, [this, nID] { Command(nID); });
            pButton->setFocusPolicy(bTabStop ? Qt::StrongFocus : Qt::ClickFocus);
            pWidget = pButton;
        } else if (std::strcmp(item.pszClass, WC_STATIC) == 0) {
            auto pLabel = new QLabel(text, this);
            pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            pLabel->setWordWrap(true);
            pWidget = pLabel;
        } else if (std::strcmp(item.pszClass, WC_IPADDRESS) == 0) {
            pWidget = new CIPAddressCtrl(this);
        } else if (std::strcmp(item.pszClass, WC_PROGRESS) == 0) {
            auto pBar = new QProgressBar(this);
            pBar->setRange(0, 100);
            pBar->setValue(0);
            pBar->setTextVisible(false);
            pBar->setFocusPolicy(Qt::NoFocus);
            pWidget = pBar;
        } else if (std::strcmp(item.pszClass, WC_LISTVIEW) == 0) {
            auto pList = new QTreeWidget(this);
            pList->setRootIsDecorated(false);
            pList->setUniformRowHeights(true);
            pList->setItemsExpandable(false);
            pList->setSelectionBehavior(QAbstractItemView::SelectRows);
            pList->setSelectionMode((item.dwStyle & LVS_SINGLESEL)
                                        ? QAbstractItemView::SingleSelection
                                        : QAbstractItemView::ExtendedSelection);
            pList->setAllColumnsShowFocus(true);
            pList->header()->setSectionsMovable(false);
            if (item.dwStyle & LVS_SORTASCENDING) {
                pList->setSortingEnabled(true);
                pList->sortByColumn(0, Qt::AscendingOrder);
                // Sorted by the item text only; the user cannot re-sort.
                pList->header()->setSectionsClickable(false);
            }
            pList->setFocusPolicy(bTabStop ? Qt::StrongFocus : Qt::ClickFocus);
            pWidget = pList;
        } else {
            pWidget = new QWidget(this);
        }
        if (!bTabStop && qobject_cast<CIPAddressCtrl*>(pWidget) == nullptr)
            pWidget->setFocusPolicy(IsPushButton(item) ||
                                            qobject_cast<QTreeWidget*>(pWidget) != nullptr
                                        ? Qt::ClickFocus
                                        : Qt::NoFocus);
        Place(pWidget, MapDialogRect(QRect(item.x, item.y, item.cx, item.cy)));
        pWidget->setVisible((item.dwStyle & WS_VISIBLE) != 0);
        m_controls.push_back({item.nID, item.dwStyle, pWidget, false});
    }
    ApplyTabOrder();

    m_pSink = std::make_unique<CSink>(this);
    m_pSink->Create();
    m_bHasWindow = true;

    // An owned window stays above its owner; it is not its child, so
    // disabling the owner leaves it usable, as on Windows.
    QWidget* pOwner = m_pParentWnd ? m_pParentWnd->window() : g_pMainWnd.data();
    if (pOwner == this)
        pOwner = nullptr;
    winId();
    if (pOwner != nullptr && pOwner->windowHandle() != nullptr)
        windowHandle()->setTransientParent(pOwner->windowHandle());
    const QRect area = (pOwner != nullptr && pOwner->isVisible())
                           ? pOwner->frameGeometry()
                           : (screen() != nullptr ? screen()->availableGeometry() : QRect());
    if (area.isValid())
        move(area.center() - QPoint(width() / 2, height() / 2));
    return true;
}

void CDialog::ApplyTabOrder() {
    QWidget* pPrev = nullptr;
    for (const CControl& c : m_controls) {
        QWidget* pWidget = c.pWidget.data();
        if (pWidget == nullptr || !(c.dwStyle & WS_TABSTOP))
            continue;
        if (pPrev != nullptr)
            QWidget::setTabOrder(pPrev, pWidget);
        pPrev = pWidget;
    }
}

void CDialog::SetInitialFocus() {
    for (const CControl& c : m_controls) {
        if (c.pWidget && (c.dwStyle & WS_TABSTOP) && !c.pWidget->isHidden() &&
            c.pWidget->isEnabled()) {
            c.pWidget->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void CDialog::DestroyControls() {
    for (CControl& c : m_controls) {
        QWidget* pWidget = c.pWidget.data();
        if (pWidget == nullptr)
            continue;
        pWidget->hide();
        if (c.bMember) {
            pWidget->setParent(nullptr);
        } else {
            // Later: the control may be the sender whose click ended the window.
            pWidget->setParent(this);
            pWidget->deleteLater();
        }
    }
    m_controls.clear();
}

void CDialog::BindControl(int nID, CWnd* pWnd) {
    QWidget* pControl = pWnd->GetWidget();
    for (CControl& c : m_controls) {
        if (c.nID != nID)
            continue;
        QWidget* pOld = c.pWidget.data();
        if (pOld == pControl)
            return;
        pWnd->OnBind(c.dwStyle);
        pControl->setParent(this);
        if (pOld != nullptr) {
            Place(pControl, pOld->geometry());
            pControl->setVisible(!pOld->isHidden());
            pOld->hide();
            pOld->deleteLater();
        }
        c.pWidget = pControl;
        c.bMember = true;
        ApplyTabOrder();
        return;
    }
}

void CDialog::PaceRedraws() {
    if (!m_pPacer)
        m_pPacer = std::make_unique<CRedrawPacer>(this);
}

void CDialog::ContentChanged() {
    if (m_pPacer && m_bHasWindow)
        m_pPacer->ContentChanged();
}

void CDialog::paintEvent(QPaintEvent* pEvent) {
    if (m_pPacer)
        m_pPacer->Painted();
    QDialog::paintEvent(pEvent);
}

int CDialog::DoModal() {
    if (!CreateWindowFromTemplate(m_pParentWnd))
        return -1;
    m_bEndPending = false;
    m_nEndResult = IDCANCEL;
    setWindowModality(Qt::ApplicationModal);
    const BOOL bDefaultFocus = OnInitDialog();
    if (!m_bEndPending) {
        if (bDefaultFocus)
            SetInitialFocus();
        m_bInModalLoop = true;
        exec();
        m_bInModalLoop = false;
    }
    const int nResult = m_nEndResult;
    CDialog::DestroyWindow();
    return nResult;
}

BOOL CDialog::Create(CWnd* pParent) {
    if (!CreateWindowFromTemplate(pParent != nullptr ? pParent->GetWidget() : nullptr))
        return FALSE;
    setWindowModality(Qt::NonModal);
    const BOOL bDefaultFocus = OnInitDialog();
    if (m_pTemplate->dwStyle & WS_VISIBLE)
        show();
    if (bDefaultFocus)
        SetInitialFocus();
    return TRUE;
}

BOOL CDialog::DestroyWindow() {
    if (!m_bHasWindow)
        return FALSE;
    OnDestroy();
    if (m_pPacer)
        m_pPacer->Stop();
    if (m_bInModalLoop)
        QDialog::done(m_nEndResult);
    hide();
    if (m_pSink) {
        m_pSink->DestroyWindow();
        m_pSink.reset();
    }
    DestroyControls();
    m_bHasWindow = false;
    return TRUE;
}

void CDialog::EndDialog(int nResult) {
    m_nEndResult = nResult;
    if (m_bInModalLoop)
        QDialog::done(nResult);
    else if (isVisible())
        hide();
    else
        m_bEndPending = true;
}

QWidget* CDialog::GetDlgItem(int nID) const {
    for (const CControl& c : m_controls)
        if (c.nID == nID)
            return c.pWidget.data();
    return nullptr;
}

void CDialog::SetDlgItemText(int nID, const std::string& text) {
    QWidget* pWidget = GetDlgItem(nID);
    const QString qText = QString::fromStdString(text);
    if (auto pLabel = qobject_cast<QLabel*>(pWidget))
        pLabel->setText(qText);
    else if (auto pButton = qobject_cast<QAbstractButton*>(pWidget))
        pButton->setText(qText);
    else if (auto pEdit = qobject_cast<QLineEdit*>(pWidget))
        pEdit->setText(qText);
    else if (auto pAddress = qobject_cast<CIPAddressCtrl*>(pWidget))
        pAddress->SetText(qText);
}

std::string CDialog::GetDlgItemText(int nID) const {
    QWidget* pWidget = GetDlgItem(nID);
    if (auto pLabel = qobject_cast<QLabel*>(pWidget))
        return pLabel->text().toStdString();
    if (auto pButton = qobject_cast<QAbstractButton*>(pWidget))
        return pButton->text().toStdString();
    if (auto pEdit = qobject_cast<QLineEdit*>(pWidget))
        return pEdit->text().toStdString();
    if (auto pAddress = qobject_cast<CIPAddressCtrl*>(pWidget))
        return pAddress->Text().toStdString();
    return std::string();
}

void CDialog::keyPressEvent(QKeyEvent* pEvent) {
    const int key = pEvent->key();
    const Qt::KeyboardModifiers mods = pEvent->modifiers() & ~Qt::KeypadModifier;
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        pEvent->accept();
        Command(IDCANCEL);
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
        pEvent->accept();
        if (auto pButton = qobject_cast<QPushButton*>(focusWidget());
            pButton != nullptr && pButton->isEnabled()) {
            pButton->click();
            return;
        }
        Command(m_nDefID);
        return;
    }
    QWidget::keyPressEvent(pEvent);
}

void CDialog::closeEvent(QCloseEvent* pEvent) {
    // Only EndDialog and DestroyWindow close the window.
    pEvent->ignore();
    if (m_bHasWindow)
        Command(IDCANCEL);
}

void CDialog::reject() {
    Command(IDCANCEL);
}

void CDialog::accept() {
    Command(IDOK);
}

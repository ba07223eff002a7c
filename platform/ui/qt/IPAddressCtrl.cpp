#include "IPAddressCtrl.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {
constexpr int kFieldMax = 255;
} // namespace

CIPAddressCtrl::CIPAddressCtrl(QWidget* pParent) : QFrame(pParent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(2, 1, 2, 1);
    pLayout->setSpacing(0);
    auto pValidator =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto pDot = new QLabel(QStringLiteral("."), this);
            pDot->setAlignment(Qt::AlignCenter);
            pLayout->addWidget(pDot);
        }
        auto pField = new QLineEdit(this);
        pField->setFrame(false);
        pField->setAlignment(Qt::AlignCenter);
        pField->setValidator(pValidator);
        pField->setMaxLength(3);
        pField->setMinimumWidth(0);
        pField->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        // The control is one tab stop: Tab leaves it from any field.
        pField->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        pField->installEventFilter(this);
        connect(pField, &QLineEdit::textEdited, this, [this, i] { OnTextEdited(i); });
        pLayout->addWidget(pField, 1);
        m_pFields[i] = pField;
    }
    setFocusProxy(m_pFields[0]);
    setFocusPolicy(Qt::StrongFocus);
}

int CIPAddressCtrl::GetAddress(DWORD& dwAddress) const {
    int nFilled = 0;
    dwAddress = 0;
    for (QLineEdit* pField : m_pFields) {
        const QString text = pField->text();
        const int value = text.isEmpty() ? 0 : qMin(text.toInt(), kFieldMax);
        if (!text.isEmpty())
            ++nFilled;
        dwAddress = (dwAddress << 8) | static_cast<DWORD>(value);
    }
    return nFilled;
}

int CIPAddressCtrl::GetAddress(BYTE& nField0, BYTE& nField1, BYTE& nField2, BYTE& nField3) const {
    DWORD dwAddress = 0;
    const int nFilled = GetAddress(dwAddress);
    nField0 = static_cast<BYTE>(dwAddress >> 24);
    nField1 = static_cast<BYTE>(dwAddress >> 16);
    nField2 = static_cast<BYTE>(dwAddress >> 8);
    nField3 = static_cast<BYTE>(dwAddress);
    return nFilled;
}

void CIPAddressCtrl::SetAddress(DWORD dwAddress) {
    for (int i = 0; i < 4; ++i)
        m_pFields[i]->setText(QString::number((dwAddress >> (24 - 8 * i)) & 0xFF));
}

void CIPAddressCtrl::SetAddress(BYTE nField0, BYTE nField1, BYTE nField2, BYTE nField3) {
    SetAddress((DWORD(nField0) << 24) | (DWORD(nField1) << 16) | (DWORD(nField2) << 8) |
               DWORD(nField3));
}

BOOL CIPAddressCtrl::IsBlank() const {
    for (QLineEdit* pField : m_pFields)
        if (!pField->text().isEmpty())
            return FALSE;
    return TRUE;
}

void CIPAddressCtrl::ClearAddress() {
    for (QLineEdit* pField : m_pFields)
        pField->clear();
}

void CIPAddressCtrl::SetFieldFocus(WORD nField) {
    if (nField < 4)
        GotoField(nField, true);
}

QString CIPAddressCtrl::Text() const {
    QStringList parts;
    for (QLineEdit* pField : m_pFields)
        parts << (pField->text().isEmpty()
                      ? QString()
                      : QString::number(qMin(pField->text().toInt(), kFieldMax)));
    return parts.join(QLatin1Char('.'));
}

void CIPAddressCtrl::SetText(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int value = i < parts.size() ? parts[i].trimmed().toInt(&ok) : 0;
        m_pFields[i]->setText(ok && value >= 0 ? QString::number(qMin(value, kFieldMax))
                                               : QString());
    }
}

bool CIPAddressCtrl::ConstrainField(int nField) {
    QLineEdit* pField = m_pFields[nField];
    if (pField->text().isEmpty() || pField->text().toInt() <= kFieldMax)
        return false;
    pField->setText(QString::number(kFieldMax));
    return true;
}

void CIPAddressCtrl::NormaliseField(int nField) {
    QLineEdit* pField = m_pFields[nField];
    if (pField->text().isEmpty())
        return;
    const QString number = QString::number(qMin(pField->text().toInt(), kFieldMax));
    if (number != pField->text())
        pField->setText(number);
}

void CIPAddressCtrl::GotoField(int nField, bool bSelectAll, bool bCaretAtEnd) {
    QLineEdit* pField = m_pFields[nField];
    pField->setFocus(Qt::OtherFocusReason);
    if (bSelectAll)
        pField->selectAll();
    else
        pField->setCursorPosition(bCaretAtEnd ? pField->text().size() : 0);
}

void CIPAddressCtrl::OnTextEdited(int nField) {
    QLineEdit* pField = m_pFields[nField];
    if (ConstrainField(nField)) {
        // Clamped: the caret stays so the user sees the correction.
        pField->selectAll();
    } else if (pField->text().size() == 3 && pField->cursorPosition() == 3 && nField < 3) {
        GotoField(nField + 1, true);
    }
    emit FieldChanged(nField);
}

bool CIPAddressCtrl::eventFilter(QObject* pWatched, QEvent* pEvent) {
    int nField = -1;
    for (int i = 0; i < 4; ++i)
        if (pWatched == m_pFields[i])
            nField = i;
    if (nField < 0)
        return QFrame::eventFilter(pWatched, pEvent);
    QLineEdit* pField = m_pFields[nField];
    if (pEvent->type() == QEvent::FocusOut) {
        const QString before = pField->text();
        NormaliseField(nField); // clamps, and drops leading zeros
        if (pField->text() != before)
            emit FieldChanged(nField);
        return false;
    }
    if (pEvent->type() != QEvent::KeyPress)
        return false;
    auto pKey = static_cast<QKeyEvent*>(pEvent);
    const bool bNoSelection = !pField->hasSelectedText();
    const int nPos = pField->cursorPosition();
    switch (pKey->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        // From a blank field it stays, so "192.168.1.1" typed after an
        // automatic move does not skip a field.
        if (nField < 3 && !pField->text().isEmpty())
            GotoField(nField + 1, true);
        return true;
    case Qt::Key_Backspace:
        if (nField > 0 && bNoSelection && nPos == 0) {
            GotoField(nField - 1, false, true);
            return true;
        }
        return false;
    case Qt::Key_Left:
        if (nField > 0 && bNoSelection && nPos == 0) {
            GotoField(nField - 1, false, true);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (nField < 3 && bNoSelection && nPos == pField->text().size()) {
            GotoField(nField + 1, false);
            return true;
        }
        return false;
    default:
        return false;
    }
}

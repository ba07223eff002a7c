#include "ProgressCtrl.h"

#include <algorithm>

CProgressCtrl::CProgressCtrl(QWidget* pParent) : QProgressBar(pParent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
    setFocusPolicy(Qt::NoFocus);
}

void CProgressCtrl::SetRange32(int nLower, int nUpper) {
    m_nLower = nLower;
    m_nUpper = nUpper;
    m_nPos = std::max(nLower, std::min(m_nPos, nUpper));
    // An empty range would make QProgressBar a busy indicator.
    setRange(nLower, nUpper > nLower ? nUpper : nLower + 1);
    setValue(std::max(nLower, std::min(m_nPos, maximum())));
}

int CProgressCtrl::SetPos(int nPos) {
    const int nOld = m_nPos;
    m_nPos = std::max(m_nLower, std::min(nPos, m_nUpper));
    setValue(std::max(m_nLower, std::min(m_nPos, maximum())));
    return nOld;
}

int CProgressCtrl::GetPos() const {
    return m_nPos;
}

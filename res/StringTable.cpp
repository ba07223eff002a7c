#include "StringTable.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

std::string LoadStringResource(UINT nID) {
    switch (nID) {
    case IDS_WAIT:
        return QCoreApplication::translate("StringTable", "Wait...").toStdString();
    default:
        return std::string();
    }
}

bool InstallTranslator() {
    // Kept for the life of the process, like the resources it stands for.
    static QTranslator* pTranslator = nullptr;
    if (pTranslator != nullptr) {
        QCoreApplication::removeTranslator(pTranslator);
        delete pTranslator;
        pTranslator = nullptr;
    }
    auto pNew = new QTranslator;
    if (!pNew->load(QLocale(), "orvex", "_", ":/i18n")) {
        delete pNew;
        return false;
    }
    QCoreApplication::installTranslator(pNew);
    pTranslator = pNew;
    return true;
}

#include "QtUserSeams.h"

#include "Dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace {

constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNOCANCEL = 0x03;

// The owner of a box or file dialog: the window the user is looking at.
QWidget* CurrentOwner() {
    if (QWidget* pModal = QApplication::activeModalWidget())
        return pModal;
    if (QWidget* pActive = QApplication::activeWindow())
        return pActive;
    CWnd* pMain = AfxGetMainWnd();
    return pMain != nullptr ? pMain->GetWidget() : nullptr;
}

} // namespace

int CQtUserSeams::MessageBox(const std::string& text, UINT nType) {
    QMessageBox box(CurrentOwner());
    box.setWindowTitle(QStringLiteral("OrvexToolKit"));
    box.setText(QString::fromStdString(text));
    switch (nType & MB_ICONMASK) {
    case MB_ICONHAND:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::Warning);
        break; // MB_ICONEXCLAMATION, or none
    }
    switch (nType & MB_TYPEMASK) {
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Ok:
        return IDOK;
    default: // closed with Escape or the close box
        return (nType & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    }
}

QString CQtUserSeams::ConvertFilter(const std::string& mfcFilter) {
    const QStringList parts = QString::fromStdString(mfcFilter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i].trimmed();
        if (name.isEmpty())
            break; // the "||" that ends the list
        QStringList patterns = parts[i + 1].trimmed().split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // "*.*" means every file on Windows; here it would hide names without a dot.
        for (QString& pattern : patterns)
            if (pattern.trimmed() == QStringLiteral("*.*"))
                pattern = QStringLiteral("*");
        // Qt reads the patterns from the last parentheses, and with
        // HideNameFilterDetails shows what comes before them.
        filters << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

bool CQtUserSeams::OpenFile(const COpenFileRequest& request, std::string* pPath) {
    QFileDialog dialog(CurrentOwner());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QString filter = ConvertFilter(request.filter);
    if (!filter.isEmpty()) {
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilter(filter);
    }
    // No default suffix: a file called "firmware" is taken as it is, never
    // turned into a "firmware.bin" that does not exist.
    if (!request.initialName.empty())
        dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *pPath = dialog.selectedFiles().first().toStdString();
    return true;
}

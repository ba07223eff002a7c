// Orvex Tool Kit: the application's entry point.
#include "QtUserSeams.h"
#include "StringTable.h"
#include "ToolApp.h"

#include <QApplication>
#include <QIcon>

// The one application object.
CToolApp theApp;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("OrvexToolKit"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/orvex-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/orvex-16.png"), QSize(16, 16));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quillmark.OrvexToolKit"));
    InstallTranslator();

    CQtUserSeams seams;
    SetUserSeams(&seams);
    theApp.InitInstance();
    SetUserSeams(nullptr);
    return 0;
}

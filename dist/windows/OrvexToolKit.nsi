; The Windows installer: both programs into Program Files, a Start menu
; entry for the windowed tool, the folder on the system PATH, and an
; uninstaller that takes back exactly that. The user's profile
; (HKCU\Software\Quillmark Communications\OrvexToolKit) is never touched.
; makensis gets VERSION, VIVERSION (four numbers), STAGE (the folder with the
; files to install), OUTFILE and ICON (the tool's own icon) on its command line (dist/windows/CMakeLists.txt).

Unicode true
; A 64-bit installer for 64-bit programs: $PROGRAMFILES64 without redirection.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define PRODUCT "Orvex Tool Kit"
!define PUBLISHER "Quillmark Communications"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvexToolKit"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; The tool's icon, so the download looks like what it installs.
Icon "${ICON}"
UninstallIcon "${ICON}"
; A new version goes where the last one is, so that one uninstaller covers it.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VIVERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright 2026 ${PUBLISHER}"

LicenseData "${STAGE}\LICENSE.txt"
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; PATH is edited in NSIS strings of at most 1024 characters (Debian's
; makensis). A longer PATH cannot be read whole, and writing back a cut one
; would destroy it: then PATH is left alone and the README says what to do.

; PathWithout: $R0 the PATH as read. Out: $R3 the same entries in the same
; order, empty ones included, without the install folder (with or without a
; trailing backslash, in any case); $R4 "1" if the folder was there.
!macro PATH_WITHOUT UN
Function ${UN}PathWithout
    StrCpy $R1 $R0
    StrCpy $R3 ""
    StrCpy $R4 0
    StrCpy $R7 0
    ${Do}
        ; $R6: length of the next entry, $R5: the character that ended it.
        StrCpy $R6 0
        ${Do}
            StrCpy $R5 $R1 1 $R6
            ${If} $R5 == ""
            ${OrIf} $R5 == ";"
                ${ExitDo}
            ${EndIf}
            IntOp $R6 $R6 + 1
        ${Loop}
        StrCpy $R2 $R1 $R6
        ; StrCmp, and so ==, ignores case, as Windows does for paths.
        ${If} $R2 == $INSTDIR
        ${OrIf} $R2 == "$INSTDIR\"
            StrCpy $R4 1
        ${Else}
            ${If} $R7 == 0
                StrCpy $R3 $R2
            ${Else}
                StrCpy $R3 "$R3;$R2"
            ${EndIf}
            StrCpy $R7 1
        ${EndIf}
        ${If} $R5 == ""
            ${ExitDo}
        ${EndIf}
        IntOp $R6 $R6 + 1
        StrCpy $R1 $R1 "" $R6
    ${Loop}
FunctionEnd
!macroend
!insertmacro PATH_WITHOUT ""
!insertmacro PATH_WITHOUT "un."

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${STAGE}\OrvexToolKit.exe"
    File "${STAGE}\orvex.exe"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "${SHORTCUT}" "$INSTDIR\OrvexToolKit.exe" "" "$INSTDIR\OrvexToolKit.exe" 0 \
        SW_SHOWNORMAL "" "Update IP phones' firmware and find phones on the network"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\OrvexToolKit.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; The folder on the system PATH, once, so that a new console finds orvex.
    ClearErrors
    ReadRegStr $R0 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${If} ${Errors}
        DetailPrint "PATH left alone: it is missing or too long to edit safely"
    ${Else}
        Call PathWithout
        ; $R8: the length of the PATH to write, with its separator.
        StrLen $R8 $R0
        StrLen $R9 $INSTDIR
        IntOp $R8 $R8 + $R9
        IntOp $R8 $R8 + 1
        ${If} $R4 == 1
            DetailPrint "PATH already holds $INSTDIR"
        ${ElseIf} $R8 >= ${NSIS_MAX_STRLEN}
            DetailPrint "PATH left alone: it is too long to edit safely"
        ${Else}
            ${If} $R0 == ""
                WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$INSTDIR"
            ${Else}
                WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$R0;$INSTDIR"
            ${EndIf}
            SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
        ${EndIf}
    ${EndIf}
SectionEnd

Section "Uninstall"
    ; Files first, the Uninstall key last: once it is gone, all is.
    Delete "${SHORTCUT}"
    Delete "$INSTDIR\OrvexToolKit.exe"
    Delete "$INSTDIR\orvex.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Not /r: whatever the user put into the folder stays, and the folder with it.
    RMDir "$INSTDIR"

    ClearErrors
    ReadRegStr $R0 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${IfNot} ${Errors}
        Call un.PathWithout
        ${If} $R4 == 1
            WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$R3"
            SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
        ${EndIf}
    ${EndIf}

    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

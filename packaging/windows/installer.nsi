; The Windows installer: makensis -DVERSION=1.0.0.0 -DSOURCE=folder -DLISTS=folder
; -DICON=file.ico -DOUTFILE=setup.exe installer.nsi (scripts/windows.sh passes them). SOURCE is
; the program's folder; LISTS holds install-files.nsh and uninstall-files.nsh,
; the exact list of what is installed, so that the uninstaller removes that
; and nothing else. A silent install or uninstall: /S.
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"
!include "WordFunc.nsh"

!define PRODUCT "TAV-RS485-KT configurator"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tav-configurator"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; The program's own settings (ports added by name), per user.
!define SETTINGS_KEY "Software\tav-configurator"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\TAV-RS485-KT configurator"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT}: setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "TAV-RS485-KT configurator developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\tav-configurator.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "English"

; NSIS strings hold 1024 characters: a longer PATH would come back cut and
; must never be written back. Such a PATH is left alone (the command-line
; program is then run from its folder).
!define PATH_ROOM 900

Section "Install"
    SetOutPath "$INSTDIR"
    SetOverwrite on
    !include "${LISTS}\install-files.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tav-configurator.exe"
    ; The user's manual (Russian), shown by the program itself: no viewer
    ; for Markdown is needed. The name stays ASCII: this script is read in
    ; the build machine's code page.
    CreateShortcut "$SMPROGRAMS\${PRODUCT} - manual.lnk" "$INSTDIR\tav-configurator.exe" "--manual"

    ; "Apps & features"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "TAV-RS485-KT configurator developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tav-configurator.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    ; tav-configurator-cli from any console: the folder joins the system's PATH.
    ClearErrors
    ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
    StrLen $1 $0
    ${IfNot} ${Errors}
    ${AndIf} $1 < ${PATH_ROOM}
        ${WordFind} "$0" "$INSTDIR" "E+1{" $2
        ${If} ${Errors}
            ${If} $0 == ""
                WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$INSTDIR"
            ${Else}
                WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0;$INSTDIR"
            ${EndIf}
            SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
        ${EndIf}
    ${Else}
        DetailPrint "PATH is too long to change: run tav-configurator-cli from $INSTDIR"
    ${EndIf}
SectionEnd

Section "Uninstall"
    ClearErrors
    ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
    StrLen $1 $0
    ${IfNot} ${Errors}
    ${AndIf} $1 < 1000
        ${un.WordReplace} "$0" ";$INSTDIR" "" "+" $2
        ${un.WordReplace} "$2" "$INSTDIR" "" "+" $2
        ${If} $2 != $0
            WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$2"
            SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
        ${EndIf}
    ${EndIf}

    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT} - manual.lnk"
    !include "${LISTS}\uninstall-files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

; The ZENTRIQ installer for 64-bit Windows: the converter window and the command-line tools, for all
; users, under Program Files, with a Start-menu shortcut to the window, an uninstaller and an entry
; in the system's list of installed programs. /S installs and uninstalls without a question, for
; deployment tools.
;
; Built by packaging/CMakeLists.txt (target windows_installer), which passes:
;   VERSION   the project's version, x.y.z
;   STAGE     a folder with zentriq.exe, zentriq-lookup.exe, zentriq-poll.exe,
;             zentriq-gateway.exe, README.md, LICENSE.txt and third-party\
;   ICON      the application's .ico
;   OUTFILE   the setup program to write
; makensis -INPUTCHARSET UTF8 -DVERSION=... -DSTAGE=... -DICON=... -DOUTFILE=... zentriq.nsi

Unicode true
; A 64-bit installer: it writes the 64-bit registry and Program Files without redirection.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "ZENTRIQ"
!define PUBLISHER "HOLVENT"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZENTRIQ"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}.0"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "ZENTRIQ"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${STAGE}/zentriq.exe"
    File "${STAGE}/zentriq-lookup.exe"
    File "${STAGE}/zentriq-poll.exe"
    File "${STAGE}/zentriq-gateway.exe"
    File "${STAGE}/README.md"
    File "${STAGE}/LICENSE.txt"
    SetOutPath "$INSTDIR\third-party"
    File /nonfatal "${STAGE}/third-party/*.*"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\zentriq.exe" "" "$INSTDIR\zentriq.exe" 0 \
        SW_SHOWNORMAL "" "Modbus address converter for Delta DVP-series PLCs"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zentriq.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://www.holvent.example"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; The size the list of installed programs shows, in KiB.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ; The files this installer put there, by name: the folder may have been chosen by the user and
    ; hold other things.
    Delete "$INSTDIR\zentriq.exe"
    Delete "$INSTDIR\zentriq-lookup.exe"
    Delete "$INSTDIR\zentriq-poll.exe"
    Delete "$INSTDIR\zentriq-gateway.exe"
    Delete "$INSTDIR\README.md"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\third-party\libxlsxwriter-License.txt"
    Delete "$INSTDIR\third-party\zlib-copyright.txt"
    Delete "$INSTDIR\third-party\README.txt"
    Delete "$INSTDIR\third-party\uPlot-LICENSE.txt"
    RMDir "$INSTDIR\third-party"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

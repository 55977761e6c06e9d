; The ZENTRIQ installer for 64-bit Windows: the converter window and the command-line tools, for all
; users, under Program Files, with a Start-menu shortcut to the window, an uninstaller and an entry
; in the system's list of installed programs. /S installs and uninstalls without a question, for
; deployment tools.
;
; An optional component, off unless chosen, adds the install folder to the system's Path, so that
; zentriq-lookup, zentriq-poll and zentriq-gateway run from any new Command Prompt or PowerShell.
; Silently, /PATH=yes chooses it and /PATH=no leaves it out (setup.exe /S /PATH=yes); without the
; switch it is chosen only when an earlier install added the folder. The uninstaller takes the
; folder out of Path again, and only if this installer put it there.
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
!include "Sections.nsh"
!include "WinMessages.nsh"

!define PRODUCT "ZENTRIQ"
!define PUBLISHER "HOLVENT"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZENTRIQ"
; The machine's environment: Path here is every user's, read by each new console.
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; An NSIS string holds NSIS_MAX_STRLEN characters with its terminator. A Path read at this length or
; longer may have been cut short, and writing it back would lose the system's own entries.
!define /math PATH_WHOLE_BELOW ${NSIS_MAX_STRLEN} - 1

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
; Hidden, but a click away: the details say why Path was left alone when it was.
ShowInstDetails hide
ShowUninstDetails hide

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}.0"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "ZENTRIQ" SecProgram
    SectionIn RO
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
;
; ---- Path ------------------------------------------------------------------------------------------
; The installer and the uninstaller each need these two functions, under their own names.
!macro PATH_FUNCTIONS PREFIX
; Reads the machine's Path into $0 and says in $R0 whether it came whole: "whole", "none" (there is
; no Path value: a new one may be written) or "too long" (longer than an NSIS string, or not a
; string at all: it must be left as it is).
Function ${PREFIX}ReadMachinePath
    ClearErrors
    ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${IfNot} ${Errors}
        StrLen $R0 $0
        ${If} $R0 < ${PATH_WHOLE_BELOW}
            StrCpy $R0 "whole"
        ${Else}
            StrCpy $R0 "too long"
        ${EndIf}
        Return
    ${EndIf}
    ; ReadRegStr fails alike for a value that is missing and one too long for its buffer: only the
    ; list of the key's value names tells them apart.
    StrCpy $0 ""
    StrCpy $R0 "none"
    StrCpy $R1 0
    ${Do}
        ClearErrors
        EnumRegValue $R2 HKLM "${ENVIRONMENT_KEY}" $R1
        ${If} ${Errors}
        ${OrIf} $R2 == ""
            ${Break}
        ${EndIf}
        ${If} $R2 == "Path"
            StrCpy $R0 "too long"
            ${Break}
        ${EndIf}
        IntOp $R1 $R1 + 1
    ${Loop}
FunctionEnd

; Goes through the Path in $0 entry by entry (';' between them) looking for the folder in $1.
; Gives in $2 how many entries name it and in $3 the Path without the $5th of them ($5 = 0: all
; kept), every other entry, empty ones too, left as it was. Windows compares file names without
; regard to case, and so does StrCmp. With $4 = "loose", an entry also names the folder with a
; trailing backslash, in quotes or through environment variables (%ProgramFiles%\ZENTRIQ): all
; ways in which someone may have added it by hand.
Function ${PREFIX}ScanPath
    StrCpy $2 0
    StrCpy $3 ""
    StrLen $R1 $0
    StrCpy $R2 0     ; where the entry begins
    StrCpy $R3 0     ; where the scan is
    StrCpy $R4 1     ; 1 until an entry has gone into $3
    ${Do}
        StrCpy $R5 $0 1 $R3
        ${If} $R3 = $R1
        ${OrIf} $R5 == ";"
            IntOp $R6 $R3 - $R2
            StrCpy $R7 $0 $R6 $R2
            StrCpy $R8 0
            ${If} $R7 == $1
                StrCpy $R8 1
            ${ElseIf} $4 == "loose"
                StrCpy $R9 $R7 1
                ${If} $R9 == '"'
                    StrCpy $R9 $R7 "" -1
                    ${If} $R9 == '"'
                        StrCpy $R9 $R7 -1 1
                    ${Else}
                        StrCpy $R9 $R7
                    ${EndIf}
                ${Else}
                    StrCpy $R9 $R7
                ${EndIf}
                ExpandEnvStrings $R9 $R9
                ${If} $R9 == $1
                ${OrIf} $R9 == "$1\"
                    StrCpy $R8 1
                ${EndIf}
            ${EndIf}
            ${If} $R8 = 1
                IntOp $2 $2 + 1
            ${EndIf}
            ${If} $R8 = 0
            ${OrIf} $2 <> $5
                ${If} $R4 = 1
                    StrCpy $3 $R7
                ${Else}
                    StrCpy $3 "$3;$R7"
                ${EndIf}
                StrCpy $R4 0
            ${EndIf}
            ${If} $R3 = $R1
                ${Break}
            ${EndIf}
            IntOp $R2 $R3 + 1
        ${EndIf}
        IntOp $R3 $R3 + 1
    ${Loop}
FunctionEnd
!macroend
!insertmacro PATH_FUNCTIONS ""
!insertmacro PATH_FUNCTIONS "un."

; Off by default: a machine's Path is shared by every program, so it changes only when asked.
Section /o "Add the command-line programs to PATH" SecPath
    Call ReadMachinePath
    ${If} $R0 == "too long"
        DetailPrint "Path not changed: the system's Path is ${PATH_WHOLE_BELOW} characters or longer, \
more than this installer can read whole. Add $INSTDIR to it by hand."
        MessageBox MB_ICONINFORMATION|MB_OK "The system's Path is too long for this installer to \
change safely, so $INSTDIR was not added to it. Add it by hand to run the command-line programs \
from any folder." /SD IDOK
        Return
    ${EndIf}
    StrCpy $1 "$INSTDIR"
    StrCpy $4 "loose"
    StrCpy $5 0
    Call ScanPath
    ${If} $2 > 0
        ; There already, by hand or from an earlier install, which has then noted it for the
        ; uninstaller: nothing to add and nothing to note.
        DetailPrint "Path already has $INSTDIR."
        Return
    ${EndIf}
    ${If} $0 == ""
        StrCpy $3 "$INSTDIR"
    ${Else}
        ; The ';', and room left for the uninstaller to read it whole and take the entry out.
        StrLen $R1 $0
        StrLen $R2 "$INSTDIR"
        IntOp $R1 $R1 + $R2
        IntOp $R1 $R1 + 1
        ${If} $R1 >= ${PATH_WHOLE_BELOW}
            DetailPrint "Path not changed: with $INSTDIR it would be longer than this installer can \
write. Add $INSTDIR to it by hand."
            MessageBox MB_ICONINFORMATION|MB_OK "The system's Path would grow too long for this \
installer to change safely, so $INSTDIR was not added to it. Add it by hand to run the \
command-line programs from any folder." /SD IDOK
            Return
        ${EndIf}
        StrCpy $R3 $0 "" -1
        ${If} $R3 == ";"
            StrCpy $3 "$0$INSTDIR"
        ${Else}
            StrCpy $3 "$0;$INSTDIR"
        ${EndIf}
    ${EndIf}
    ClearErrors
    ; REG_EXPAND_SZ, as Windows keeps it: the %SystemRoot% in its own entries stays unexpanded.
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $3
    ${If} ${Errors}
        DetailPrint "Path not changed: the system's Path could not be written."
        Return
    ${EndIf}
    ; The uninstaller's cue: it takes out exactly this entry, and none that it did not add.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "PathEntry" "$INSTDIR"
    DetailPrint "Added $INSTDIR to the system's Path."
    ; Explorer rereads the environment on this message, and the consoles it starts see the change.
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
SectionEnd

Function .onInit
    ; A reinstall keeps what the last install chose.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PathEntry"
    ${If} $0 != ""
        !insertmacro SelectSection ${SecPath}
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/PATH=" $1
    ${IfNot} ${Errors}
        ${If} $1 == "yes"
            !insertmacro SelectSection ${SecPath}
        ${ElseIf} $1 == "no"
            !insertmacro UnselectSection ${SecPath}
        ${Else}
            ; A deployment script with a typo learns of it from the exit status, not a machine set
            ; up otherwise than it meant.
            MessageBox MB_ICONSTOP|MB_OK "/PATH= takes yes or no, not $\"$1$\"." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "PathEntry"
    ${If} $1 != ""
        Call un.ReadMachinePath
        ${If} $R0 == "too long"
            DetailPrint "Path not changed: the system's Path is too long for this uninstaller to \
read whole. Take $1 out of it by hand."
        ${ElseIf} $R0 == "whole"
            StrCpy $4 "exact"
            StrCpy $5 0
            Call un.ScanPath
            ; The installer appended it, so the last one that names it is the one it added.
            ${If} $2 > 0
                StrCpy $5 $2
                Call un.ScanPath
                ClearErrors
                WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $3
                ${If} ${Errors}
                    DetailPrint "Path not changed: the system's Path could not be written."
                ${Else}
                    DetailPrint "Took $1 out of the system's Path."
                    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" \
                        /TIMEOUT=5000
                ${EndIf}
            ${EndIf}
        ${EndIf}
    ${EndIf}
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

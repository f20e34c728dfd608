; SPDX-License-Identifier: MIT
; Installer of quorvan-config for 64-bit Windows, built by scripts/build-windows with
;   makensis -DVERSION=<1.0.0.2+N.g<commit>> -DNUMERIC=<1.0.0.N> -DBUILD=<N>
;            -DSTAGE=<deployed folder> -DLISTS=<folder of files.nsh and unfiles.nsh>
;            -DSIZE=<size in KiB> -DOUTFILE=<setup.exe> [-DSIGN=<signing command>]
; It installs the deployed folder into Program Files, adds a Start-menu shortcut, an
; uninstaller registered with Windows and inbound firewall rules for the boards' replies.
; files.nsh and unfiles.nsh are written from the deployed folder at build time, so that the
; uninstaller removes exactly the files that this installer wrote and nothing else.
;
; Exit codes of a silent run (/S), beside NSIS's own 1 (cancelled) and 2 (aborted):
!define EXIT_RUNNING 3   ; quorvan-config.exe or quorvan-cli.exe is running; nothing changed
!define EXIT_NEWER 4     ; a newer build is installed; nothing changed
!define EXIT_PREVIOUS 5  ; the previous version's uninstaller failed
!define EXIT_FIREWALL 6  ; installed, but the firewall rules could not be added

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define APP "quorvan-config"
!define TITLE "Configuration Quorvan"
!define PUBLISHER "Quorvan tools"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
; The tool reads "brenik.png" from its working directory and "../../FindQuorvan/bg.ico"
; from there, so the shortcut starts it in this folder.
!define WORKDIR "$INSTDIR\share\${APP}\run\config"
!define FIREWALL_RULE "${TITLE}"
; The boards answer on the port that the programs query from, by broadcast or from an
; address in any subnet, so the rules name the local port and leave the remote side open.
!define PORT 4022

;  With SIGN, the command signs the uninstaller before it is packed into the setup, which
; writes it out at install time as it is (a signature could not be added later), and then
; the setup itself.
!ifdef SIGN
!uninstfinalize '"${SIGN}" "%1"' = 0
!finalize '"${SIGN}" "%1"' = 0
!endif

Name "${TITLE}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"

; The numbers are those of the programs: the build number in the last field (at most 65535).
VIProductVersion "${NUMERIC}"
VIFileVersion "${NUMERIC}"
VIAddVersionKey /LANG=1036 "ProductName" "${TITLE}"
VIAddVersionKey /LANG=1036 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation de ${TITLE}"
VIAddVersionKey /LANG=1036 "LegalCopyright" "MIT; Qt: LGPL-3"

Var PreviousBuild
Var PreviousVersion
Var PreviousFolder
Var FinishText

!insertmacro MUI_PAGE_LICENSE "${STAGE}\licences\quorvan-config-MIT.txt"
!define MUI_PAGE_HEADER_TEXT "Licence de Qt"
!define MUI_PAGE_HEADER_SUBTEXT "Les bibliothèques Qt livrées avec le programme sont sous LGPL-3."
; For information: nothing to accept.
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Pour information : vous pouvez remplacer ces bibliothèques \
par les vôtres (licences\Qt-SOURCE.txt)."
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licences\Qt-LGPL-3.txt"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE OwnFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "French"

; A folder chosen by hand, such as C:\Tools, holds other programs' files: the installation
; goes into a folder of its own inside it, which the uninstaller can remove once empty.
Function OwnFolder
    ${GetFileName} "$INSTDIR" $0
    ${If} $0 != "${APP}"
        StrCpy $INSTDIR "$INSTDIR\${APP}"
    ${EndIf}
FunctionEnd

; Windows refuses to open the image of a running program for writing (Wine too), so a
; program that cannot be opened so is running, and its files could not be replaced.
!macro IfRunning program
    ${If} $R1 == ""
    ${AndIf} ${FileExists} "$R0\bin\${program}"
        ClearErrors
        FileOpen $2 "$R0\bin\${program}" a
        ${If} ${Errors}
            StrCpy $R1 "${program}"
        ${Else}
            FileClose $2
        ${EndIf}
    ${EndIf}
!macroend
!macro RunningPrograms un
    Function ${un}RunningPrograms ; folder -> the first running program's name, or ""
        Exch $R0
        Push $R1
        StrCpy $R1 ""
        !insertmacro IfRunning "quorvan-config.exe"
        !insertmacro IfRunning "quorvan-cli.exe"
        StrCpy $R0 $R1
        Pop $R1
        Exch $R0
    FunctionEnd

    ; A silent run cancels at once: nothing has been changed yet.
    Function ${un}CloseRunningPrograms ; folder
        Exch $R2
        ${Do}
            Push $R2
            Call ${un}RunningPrograms
            Pop $R3
            ${If} $R3 == ""
                ${Break}
            ${EndIf}
            DetailPrint "$R3 est en cours d'exécution."
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
                "$R3 est en cours d'exécution depuis $R2\bin.$\r$\nFermez-le, puis cliquez sur Réessayer." \
                /SD IDCANCEL IDRETRY retry
            SetErrorLevel ${EXIT_RUNNING}
            Quit
          retry:
        ${Loop}
        Pop $R2
    FunctionEnd
!macroend
!insertmacro RunningPrograms ""
!insertmacro RunningPrograms "un."

Function .onInit
    SetRegView 64
    ReadRegDWORD $PreviousBuild HKLM "${UNINSTALL_KEY}" "Build"
    ReadRegStr $PreviousVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ReadRegStr $PreviousFolder HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ; Installs older than the build number in the uninstall key are older than any build.
    ${If} $PreviousBuild != ""
    ${AndIf} $PreviousBuild > ${BUILD}
        MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 \
            "Une version plus récente est installée ($PreviousVersion).$\r$\nLa remplacer par la version ${VERSION} ?" \
            /SD IDNO IDYES downgrade
        SetErrorLevel ${EXIT_NEWER}
        Quit
      downgrade:
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

; Windows Firewall asks about, or silently drops, the unsolicited datagrams that the boards
; send back; both programs are let in for UDP on their port.
!macro FirewallRules prefix
    Function ${prefix}RemoveFirewallRules
        nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" dir=in'
        Pop $0
    FunctionEnd
!macroend
!insertmacro FirewallRules ""
!insertmacro FirewallRules "un."

Function AddFirewallRule ; program -> "" or the failure
    Exch $R0
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP localport=${PORT} profile=any program="$INSTDIR\bin\$R0"'
    Pop $0
    ${If} $0 == 0
        StrCpy $R0 ""
    ${Else}
        DetailPrint "Échec de la règle de pare-feu pour $R0 (netsh : $0)."
        StrCpy $R0 "$R0 (netsh : $0)"
    ${EndIf}
    Exch $R0
FunctionEnd

Section "${TITLE}"
    SetShellVarContext all
    ; /D=C:\Tools in a silent run meets the same rule as the folder page.
    Call OwnFolder

    ; Nothing changes while a program of the installation is running.
    ${If} $PreviousFolder != ""
    ${AndIf} ${FileExists} "$PreviousFolder\uninstall.exe"
        Push $PreviousFolder
        Call CloseRunningPrograms
    ${EndIf}
    Push $INSTDIR
    Call CloseRunningPrograms

    ; The previous version goes first, by its own uninstaller and its own list of files, so
    ; that no file of an older build stays behind. _?= runs it in place and waits for it.
    ${If} $PreviousFolder != ""
    ${AndIf} ${FileExists} "$PreviousFolder\uninstall.exe"
        DetailPrint "Désinstallation de la version $PreviousVersion"
        ClearErrors
        ExecWait '"$PreviousFolder\uninstall.exe" /S _?=$PreviousFolder' $0
        ${If} ${Errors}
        ${OrIf} $0 != 0
            DetailPrint "La désinstallation de la version $PreviousVersion a échoué ($0)."
            MessageBox MB_OK|MB_ICONSTOP \
                "La désinstallation de la version $PreviousVersion a échoué ($0).$\r$\nL'installation est abandonnée." \
                /SD IDOK
            SetErrorLevel ${EXIT_PREVIOUS}
            Quit
        ${EndIf}
        Delete "$PreviousFolder\uninstall.exe"
        RMDir "$PreviousFolder"
    ${EndIf}

    !include "${LISTS}\files.nsh"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; SetOutPath gives the shortcut its working directory.
    SetOutPath "${WORKDIR}"
    CreateShortcut "$SMPROGRAMS\${TITLE}.lnk" "$INSTDIR\bin\quorvan-config.exe" "" \
        "$INSTDIR\bin\quorvan-config.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "Build" ${BUILD}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://tools.quorvan.invalid/quorvan-config"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "https://tools.quorvan.invalid/quorvan-config/aide"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\quorvan-config.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; The installed files' size, from the build; the folder may hold the user's files too.
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE}

    ; A reinstall replaces the rules rather than adding a second copy.
    Call RemoveFirewallRules
    StrCpy $FinishText "${TITLE} est installé."
    Push "quorvan-config.exe"
    Call AddFirewallRule
    Pop $0
    StrCpy $1 "$0"
    Push "quorvan-cli.exe"
    Call AddFirewallRule
    Pop $0
    ${If} $0 != ""
        ${If} $1 != ""
            StrCpy $1 "$1, "
        ${EndIf}
        StrCpy $1 "$1$0"
    ${EndIf}
    ${If} $1 != ""
        StrCpy $FinishText "${TITLE} est installé, mais les règles du pare-feu Windows n'ont \
pas pu être ajoutées : $1.$\r$\n$\r$\nSans elles, Windows bloque les réponses des cartes. Ajoutez une règle \
entrante qui autorise le port UDP local ${PORT} pour bin\quorvan-config.exe et \
bin\quorvan-cli.exe."
        SetErrorLevel ${EXIT_FIREWALL}
    ${EndIf}
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Push $INSTDIR
    Call un.CloseRunningPrograms
    Call un.RemoveFirewallRules
    Delete "$SMPROGRAMS\${TITLE}.lnk"
    ; Exactly what the installer wrote, then its folders if they are empty: whatever the user
    ; put there stays, and so does the folder holding it.
    !include "${LISTS}\unfiles.nsh"
    Delete "$INSTDIR\uninstall.exe"
    SetOutPath "$TEMP"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

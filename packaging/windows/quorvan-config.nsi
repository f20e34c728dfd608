; SPDX-License-Identifier: MIT
; Installer of quorvan-config for 64-bit Windows, built by scripts/build-windows with
;   makensis -DVERSION=<a.b.c.d> -DSTAGE=<deployed folder> -DOUTFILE=<setup.exe>
; It installs the deployed folder into Program Files, adds a Start-menu shortcut, an
; uninstaller registered with Windows and inbound firewall rules for the boards' replies.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define APP "quorvan-config"
!define TITLE "Configuration Quorvan"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
; The tool reads "brenik.png" from its working directory and "../../FindQuorvan/bg.ico"
; from there, so the shortcut starts it in this folder.
!define WORKDIR "$INSTDIR\share\${APP}\run\config"
!define FIREWALL_RULE "${TITLE}"

Name "${TITLE}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1036 "ProductName" "${TITLE}"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation de ${TITLE}"
VIAddVersionKey /LANG=1036 "LegalCopyright" "MIT; Qt: LGPL-3"

!insertmacro MUI_PAGE_LICENSE "${STAGE}\licences\quorvan-config-MIT.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "French"

Function .onInit
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

; Windows Firewall asks about, or silently drops, the unsolicited datagrams that the boards
; send back (by broadcast or to port 4022); both programs are let in for UDP.
!macro FirewallRules prefix
    Function ${prefix}RemoveFirewallRules
        nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" dir=in'
        Pop $0
    FunctionEnd
!macroend
!insertmacro FirewallRules ""
!insertmacro FirewallRules "un."

Section "${TITLE}"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; SetOutPath gives the shortcut its working directory.
    SetOutPath "${WORKDIR}"
    CreateShortcut "$SMPROGRAMS\${TITLE}.lnk" "$INSTDIR\bin\quorvan-config.exe" "" \
        "$INSTDIR\bin\quorvan-config.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\quorvan-config.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; A reinstall replaces the rules rather than adding a second copy.
    Call RemoveFirewallRules
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP profile=any program="$INSTDIR\bin\quorvan-config.exe"'
    Pop $0
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP profile=any program="$INSTDIR\bin\quorvan-cli.exe"'
    Pop $0
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Call un.RemoveFirewallRules
    Delete "$SMPROGRAMS\${TITLE}.lnk"
    ; Only what the installer put there, in case the folder was chosen by hand.
    RMDir /r "$INSTDIR\bin"
    RMDir /r "$INSTDIR\share"
    RMDir /r "$INSTDIR\licences"
    Delete "$INSTDIR\quorvan-config.cmd"
    Delete "$INSTDIR\uninstall.exe"
    SetOutPath "$TEMP"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of Zentrix OS Update: the program and zrenum.dll in
; Program Files, a Start-menu entry, an uninstaller registered with Windows;
; optionally Windows' WinUSB driver for a USB calculator, given its USB IDs
; on the installer's page or as /USBID=VVVV:PPPP (which also selects it).
; Built by packaging/windows/make-package, which defines:
;   VERSION   four-part version, e.g. 1.0.0.1
;   STAGE     folder holding zentrix-update.exe, zrenum.dll, README.txt,
;             LICENSE.txt (shown on the licence page), zentrix-winusb.inf.in and
;             the translations (locale\LANG\LC_MESSAGES\zentrix-update.mo)
;   ICON      the program's icon
;   OUTFILE   the installer to write
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "nsDialogs.nsh"
!include "Sections.nsh"
!include "WordFunc.nsh"

!define PRODUCT "Zentrix OS Update"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZentrixOsUpdate"
; The event source each run's event is written under (Application log). Its
; messages come from .NET's EventLogMessages.dll, whose message N is "%1":
; the event shows the run's line as it was written.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\zentrix-update"

Var UsbId        ; VVVV:PPPP, the calculator's USB vendor and product IDs
Var UsbIdField

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=1033 "LegalCopyright" "2026 Zentrix OS Update developers; GPL-3.0-or-later"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
Page custom UsbIdPage UsbIdPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The installer's pages in the user's Windows language where it has it
; (the Start-menu entries keep their names, which the uninstaller removes).
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"

LangString NEEDS_64BIT ${LANG_ENGLISH} "${PRODUCT} needs 64-bit Windows."
LangString NEEDS_64BIT ${LANG_GERMAN} "${PRODUCT} braucht 64-Bit-Windows."
LangString NEEDS_64BIT ${LANG_FRENCH} "${PRODUCT} nécessite Windows 64 bits."
LangString NEEDS_64BIT ${LANG_SPANISH} "${PRODUCT} necesita Windows de 64 bits."

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Zentrix OS Update" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\zentrix-update.exe"
  File "${STAGE}\zrenum.dll"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\zentrix-update-events.schema.json"
  File /r "${STAGE}\locale"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Started from the menu in its own folder, which holds no images: the
  ; program asks for the image folder first.
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\zentrix-update.exe" "" "$INSTDIR\zentrix-update.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Update a class set.lnk" "$INSTDIR\zentrix-update.exe" "--all" "$INSTDIR\zentrix-update.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Station.lnk" "$INSTDIR\zentrix-update.exe" "--watch" "$INSTDIR\zentrix-update.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Check a class set.lnk" "$INSTDIR\zentrix-update.exe" "--check --all" "$INSTDIR\zentrix-update.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\History.lnk" "$INSTDIR\zentrix-update.exe" "--history-window" "$INSTDIR\zentrix-update.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Zentrix OS Update developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zentrix-update.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "%SystemRoot%\Microsoft.NET\Framework64\v4.0.30319\EventLogMessages.dll"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
SectionEnd

; The INF for the calculator's IDs, staged in Windows' driver store and
; installed on the calculator when it is connected. A catalog signed for it
; (zentrix-winusb.cat beside the installer) is taken along: 64-bit Windows
; installs no unsigned driver package.
Section /o "WinUSB driver for a USB calculator" SecWinUsb
  StrCpy $R0 $UsbId
  Call CheckUsbId
  ${If} ${Errors}
    MessageBox MB_ICONEXCLAMATION "No WinUSB driver was installed: the USB IDs '$UsbId' are not VVVV:PPPP." /SD IDOK
    Return
  ${EndIf}
  SetOutPath "$INSTDIR\driver"
  File "${STAGE}\zentrix-winusb.inf.in"
  StrCpy $1 $UsbId 4
  StrCpy $2 $UsbId 4 5
  FileOpen $3 "$INSTDIR\driver\zentrix-winusb.inf.in" r
  FileOpen $4 "$INSTDIR\driver\zentrix-winusb.inf" w
  ${Do}
    ClearErrors
    FileRead $3 $5
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${WordReplace} $5 "@VID@" $1 "+" $5
    ${WordReplace} $5 "@PID@" $2 "+" $5
    FileWrite $4 $5
  ${Loop}
  FileClose $3
  FileClose $4
  IfFileExists "$EXEDIR\zentrix-winusb.cat" 0 +2
    CopyFiles /SILENT "$EXEDIR\zentrix-winusb.cat" "$INSTDIR\driver\zentrix-winusb.cat"
  nsExec::ExecToLog '"$SYSDIR\pnputil.exe" /add-driver "$INSTDIR\driver\zentrix-winusb.inf" /install'
  Pop $0
  ${If} $0 != 0
    MessageBox MB_ICONEXCLAMATION "Windows did not take the WinUSB driver for $UsbId (pnputil: $0). An unsigned driver package is refused: see README.txt, $\"A USB calculator needs Windows' WinUSB driver$\"." /SD IDOK
  ${EndIf}
SectionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "$(NEEDS_64BIT)"
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/USBID=" $UsbId
  ${IfNot} ${Errors}
  ${AndIf} $UsbId != ""
    !insertmacro SelectSection ${SecWinUsb}
  ${EndIf}
FunctionEnd

; Sets the error flag unless $R0 is VVVV:PPPP in hex digits.
Function CheckUsbId
  StrLen $R1 $R0
  StrCpy $R2 $R0 1 4
  ${If} $R1 != 9
  ${OrIf} $R2 != ":"
    SetErrors
    Return
  ${EndIf}
  ${ForEach} $R3 0 8 + 1
    ${If} $R3 != 4
      ; A hex digit other than 0 reads as a number that is not 0.
      StrCpy $R2 $R0 1 $R3
      IntOp $R4 "0x$R2" + 0
      ${If} $R2 != "0"
      ${AndIf} $R4 = 0
        SetErrors
        Return
      ${EndIf}
    ${EndIf}
  ${Next}
  ClearErrors
FunctionEnd

Function UsbIdPage
  ${IfNot} ${SectionIsSelected} ${SecWinUsb}
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "WinUSB driver" "The USB IDs of the calculator"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 48u "Connect the calculator by USB. In Device Manager, open it (under $\"Other devices$\" or $\"Universal Serial Bus devices$\"), choose Details, Hardware Ids: USB\VID_vvvv&PID_pppp. Type vvvv:pppp here."
  Pop $0
  ${NSD_CreateText} 0 56u 60u 12u "$UsbId"
  Pop $UsbIdField
  nsDialogs::Show
FunctionEnd

Function UsbIdPageLeave
  ${NSD_GetText} $UsbIdField $UsbId
  StrCpy $R0 $UsbId
  Call CheckUsbId
  ${If} ${Errors}
    MessageBox MB_ICONEXCLAMATION "Type the IDs as four hex digits, a colon and four hex digits, e.g. 1a2b:5e01."
    Abort
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Update a class set.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Station.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Check a class set.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\History.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$INSTDIR\zentrix-update.exe"
  Delete "$INSTDIR\zrenum.dll"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\zentrix-update-events.schema.json"
  RMDir /r "$INSTDIR\locale"
  Delete "$INSTDIR\uninstall.exe"
  ; The driver stays in Windows' driver store (pnputil /delete-driver removes it).
  Delete "$INSTDIR\driver\zentrix-winusb.inf.in"
  Delete "$INSTDIR\driver\zentrix-winusb.inf"
  Delete "$INSTDIR\driver\zentrix-winusb.cat"
  RMDir "$INSTDIR\driver"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
SectionEnd

; The per-user installer: SysExDump.exe, reseng.dll, the README and the licence in
; %LOCALAPPDATA%\Programs\SysEx Dump, a Start-menu shortcut and an uninstaller listed in
; "Installed apps". No administrator rights. /S installs silently, /D=folder elsewhere.
;
; The build runs it (CMakeLists.txt) with:
;   makensis -DVERSION=1.2.3 -DBIN=<folder of the built exe and module>
;            -DSOURCE=<source tree> -DOUTFILE=<setup.exe to write> SysExDump.nsi

!ifndef VERSION | BIN | SOURCE | OUTFILE
  !error "VERSION, BIN, SOURCE and OUTFILE must be defined on the command line"
!endif

!define PRODUCT "SysEx Dump"
!define PUBLISHER "SysEx Dump developers"
!define EXE "SysExDump.exe"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Where the program keeps its settings (DumpApp.h).
!define SETTINGS_KEY "Software\${PRODUCT}"

; The program is 64-bit only, so is its installer.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS all

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
; An update goes where the installed copy is.
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!include MUI2.nsh
!include LogicLib.nsh

!define MUI_ICON "${SOURCE}\resources\app.ico"
!define MUI_UNICON "${SOURCE}\resources\app.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "${PRODUCT} will be removed from $INSTDIR. Your settings are kept for a later installation unless you tick the box below."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "MIT License"
VIAddVersionKey /LANG=${LANG_ENGLISH} "OriginalFilename" "SysExDump-${VERSION}-setup.exe"

; Windows refuses to open a running program or its loaded module for writing, so trying
; that before anything is copied or deleted finds a running copy while the installed one
; is still whole. Silently the answer is Cancel: exit code 2, nothing changed.
!macro MARK_IF_LOCKED file
  ${If} ${FileExists} "${file}"
    ClearErrors
    FileOpen $0 "${file}" a
    ${If} ${Errors}
      StrCpy $1 "locked"
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
!macroend

!macro DEFINE_CHECK_NOT_RUNNING un
Function ${un}CheckNotRunning
  retry:
  StrCpy $1 ""
  !insertmacro MARK_IF_LOCKED "$INSTDIR\${EXE}"
  !insertmacro MARK_IF_LOCKED "$INSTDIR\reseng.dll"
  ${If} $1 == "locked"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is running from $INSTDIR.$\r$\n$\r$\nClose it, then choose Retry. Cancel leaves the installed copy as it is." \
      /SD IDCANCEL IDRETRY retry
    DetailPrint "${PRODUCT} is running: nothing was changed."
    Abort
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_CHECK_NOT_RUNNING ""
!insertmacro DEFINE_CHECK_NOT_RUNNING "un."

Section "-Program" SecProgram
  Call CheckNotRunning
  SetOutPath "$INSTDIR"
  File "${BIN}\${EXE}"
  File "${BIN}\reseng.dll"
  File "${SOURCE}\README.md"
  File "${SOURCE}\LICENSE"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The icon lives in the resource module, not in the executable.
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\reseng.dll" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\reseng.dll,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "-un.Program"
  Call un.CheckNotRunning
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\reseng.dll"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: the folder may hold the user's own files.
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Also remove my settings"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

; Last, so that an uninstallation stopped half-way stays listed, and whoever waits for the
; entry to go knows that everything else has gone.
Section "-un.Unregister"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; The per-user installer: SysExDump.exe, reseng.dll, the README and the licence in
; %LOCALAPPDATA%\Programs\SysEx Dump, a Start-menu shortcut and an uninstaller listed in
; "Installed apps". No administrator rights. /S installs silently, /D=folder elsewhere.
;
; It writes only into a folder that is new, empty or an installation of this program (named
; by the program's uninstall entry, or holding the marker file it writes), so that it never
; replaces a user's files; its uninstaller removes exactly what it wrote. Silent exit codes
; (README): 2 the program is running, 3 the folder holds other files; nothing changed.
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
; Its first line tells an installation of this program from a folder of other files.
!define MARKER "SysExDump-installation.txt"
!define MARKER_LINE "${PRODUCT} installation"
!define EXIT_FOLDER_REFUSED 3
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
!include FileFunc.nsh
!include WordFunc.nsh

!define MUI_ICON "${SOURCE}\resources\app.ico"
!define MUI_UNICON "${SOURCE}\resources\app.ico"
!define MUI_ABORTWARNING

; Each page sets the window title again (Show functions below).
!define MUI_PAGE_CUSTOMFUNCTION_SHOW SetTitle
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE RefuseFolderOfOtherFiles
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_CUSTOMFUNCTION_SHOW SetTitle
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW SetTitle
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "${PRODUCT} will be removed from $INSTDIR. Your settings are kept for a later installation unless you tick the box below."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.ShowComponents
!insertmacro MUI_UNPAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.SetTitle
!insertmacro MUI_UNPAGE_INSTFILES
; MUI's " " sub-captions would end the title with a space once the files are done.
SubCaption 4 ": Completed"
UninstallSubCaption 2 ": Completed"

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

; MUI gives every page the sub-caption " ", which the title would end with.
!macro DEFINE_SET_TITLE un caption
Function ${un}SetTitle
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:$(${caption})"
FunctionEnd
!macroend
!insertmacro DEFINE_SET_TITLE "" ^SetupCaption
!insertmacro DEFINE_SET_TITLE "un." ^UninstallCaption

; Removing files frees no space worth a figure: the page would say "Space required: 0.0 KB".
Function un.ShowComponents
  Call un.SetTitle
  FindWindow $0 "#32770" "" $HWNDPARENT
  GetDlgItem $0 $0 1023
  ShowWindow $0 ${SW_HIDE}
FunctionEnd

; $0 = "ok" when $INSTDIR may be written into: missing, empty, or an installation of this
; program. Never judged by the names of the files there: a user's own README.md, LICENSE or
; uninstall.exe would pass for ours, and be replaced and later deleted.
Function CheckFolder
  StrCpy $0 "refused"
  StrCpy $4 ""
  ${DirState} "$INSTDIR" $1
  ReadRegStr $2 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ClearErrors
  FileOpen $3 "$INSTDIR\${MARKER}" r
  ${IfNot} ${Errors}
    FileRead $3 $4
    FileClose $3
  ${EndIf}
  ${If} $1 == 0
  ${OrIf} $2 == $INSTDIR
  ${OrIf} $4 == "${MARKER_LINE}$\r$\n"
    StrCpy $0 "ok"
  ${ElseIf} $1 == -1
  ${AndIfNot} ${FileExists} "$INSTDIR"
    StrCpy $0 "ok"
  ${EndIf}
FunctionEnd

Function RefuseFolderOfOtherFiles
  Call CheckFolder
  ${If} $0 != "ok"
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "$INSTDIR already holds files that are not ${PRODUCT}'s.$\r$\n$\r$\n${PRODUCT} installs only into a new or empty folder, or over its own installed copy, so that it never replaces your files or removes them when it is uninstalled. Please choose another folder."
    Abort
  ${EndIf}
FunctionEnd

; Windows and Wine quote an argument with spaces, and a quoted "/D=C:\a b\c" is not seen as
; /D= at all: take the folder from it, so that the program never goes elsewhere.
Function TakeQuotedFolder
  ${GetParameters} $0
  ClearErrors
  ${WordFind} $0 '"/D=' "E+1}" $1
  ${IfNot} ${Errors}
    ${WordFind} $1 '"' "+1{" $INSTDIR
  ${EndIf}
FunctionEnd

Function .onInit
  Call TakeQuotedFolder
  ${If} ${Silent}
    Call CheckFolder
    ${If} $0 != "ok"
      SetErrorLevel ${EXIT_FOLDER_REFUSED}
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; An update into another folder than the installed copy's: that copy's own uninstaller
; removes it first (keeping the settings), so that no copy is left that nothing lists.
Function RemoveCopyElsewhere
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIf} $0 == $INSTDIR
  ${OrIfNot} ${FileExists} "$0\${UNINSTALLER}"
    Return
  ${EndIf}
  DetailPrint "Removing the copy in $0"
  StrCpy $1 "not started"
  ExecWait '"$0\${UNINSTALLER}" /S _?=$0' $1
  ${If} $1 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "The installed copy in $0 could not be removed (is ${PRODUCT} running?). Nothing was changed." /SD IDOK
    Abort
  ${EndIf}
  ; Run in place, the uninstaller cannot delete itself.
  Delete "$0\${UNINSTALLER}"
  RMDir "$0"
FunctionEnd

; The files written besides the marker and the uninstaller: the uninstaller removes this list.
!macro PROGRAM_FILES action
  !insertmacro ${action} "${BIN}" "${EXE}"
  !insertmacro ${action} "${BIN}" "reseng.dll"
  !insertmacro ${action} "${SOURCE}" "README.md"
  !insertmacro ${action} "${SOURCE}" "LICENSE"
!macroend
!macro WRITE_FILE from name
  File "${from}\${name}"
!macroend
!macro REMOVE_FILE from name
  Delete "$INSTDIR\${name}"
!macroend

Section "-Program" SecProgram
  Call CheckNotRunning
  Call RemoveCopyElsewhere
  SetOutPath "$INSTDIR"
  !insertmacro PROGRAM_FILES WRITE_FILE
  FileOpen $0 "$INSTDIR\${MARKER}" w
  FileWrite $0 "${MARKER_LINE}$\r$\nWritten by its installer: ${UNINSTALLER} removes the program's files from this folder and leaves any others.$\r$\n"
  FileClose $0
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; Started in the user's Documents, so that dumps saved under their default names land
  ; there and not among the program's files. The icon lives in the resource module.
  SetOutPath "$DOCUMENTS"
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
  !insertmacro PROGRAM_FILES REMOVE_FILE
  Delete "$INSTDIR\${MARKER}"
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

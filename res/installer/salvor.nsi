; Salvor's Windows installer, made by makensis on Linux from the Windows
; build (app/win/CMakeLists.txt passes the defines):
;
;   makensis -DVERSION=0.1.0 -DBIN_DIR=build/windows/installer/stage -DOUT_FILE=Salvor-0.1.0-setup.exe salvor.nsi
;
; It puts the program, its two libraries, the list icons (img\) and the
; language files (language\) into Program Files\Salvor, writes "Install Path"
; under HKLM\SOFTWARE\Salvor, a Start-menu shortcut and the Add/Remove
; Programs entry, and an uninstaller that takes all of it away again, the
; settings the program writes beside itself (setting.ini, KVN.ini) included.
; "/S" installs or uninstalls without a window; "/D=DIR" (last on the
; command line) installs elsewhere.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!ifndef VERSION
  !error "VERSION is not defined (-DVERSION=x.y.z)"
!endif
!ifndef BIN_DIR
  !error "BIN_DIR is not defined (-DBIN_DIR=the build's bin folder)"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "Salvor-${VERSION}-setup.exe"
!endif

!define PRODUCT "Salvor"
!define PROGRAM_KEY "SOFTWARE\Salvor"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Salvor"
!define SHORTCUT "$SMPROGRAMS\Salvor.lnk"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; An earlier installation's folder. Not "Install Path": the program stores
; wherever it was started from there when the value is missing.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "LegalCopyright" "The Salvor authors"

!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Salvor.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Salvor"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running copy holds its files: ask for it to be closed (a silent run
; gives up rather than leave a half-replaced or half-removed program).
!macro WAIT_FOR_PROGRAM_CLOSED un
Function ${un}WaitForProgramClosed
  ${Do}
    FindWindow $0 "SalvorGwDialog" "Salvor - USB Drive Data Recovery"
    ${If} $0 == 0
      Return
    ${EndIf}
    MessageBox MB_ICONEXCLAMATION|MB_OKCANCEL "Salvor is running. Close it, then click OK." /SD IDCANCEL IDOK +2
    Abort
  ${Loop}
FunctionEnd
!macroend
!insertmacro WAIT_FOR_PROGRAM_CLOSED ""
!insertmacro WAIT_FOR_PROGRAM_CLOSED "un."

Function .onInit
  SetRegView 64
  Call WaitForProgramClosed
FunctionEnd

Function un.onInit
  SetRegView 64
  Call un.WaitForProgramClosed
FunctionEnd

Section "Salvor" SecProgram
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/Salvor.exe"
  File "${BIN_DIR}/Gleaner.dll"
  File "${BIN_DIR}/Surveyor.dll"
  SetOutPath "$INSTDIR\img"
  File /r "${BIN_DIR}/img/*.*"
  SetOutPath "$INSTDIR\language"
  File /r "${BIN_DIR}/language/*.*"
  ; The shortcut starts the program in its own folder.
  SetOutPath "$INSTDIR"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; The same form the program itself stores: the folder with its separator.
  WriteRegStr HKLM "${PROGRAM_KEY}" "Install Path" "$INSTDIR\"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\Salvor.exe" "" "$INSTDIR\Salvor.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Salvor authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Salvor.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as Add/Remove Programs reads it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "${SHORTCUT}"

  Delete "$INSTDIR\Salvor.exe"
  Delete "$INSTDIR\Gleaner.dll"
  Delete "$INSTDIR\Surveyor.dll"
  ; What the program writes beside itself: the chosen language and the
  ; file-type page.
  Delete "$INSTDIR\setting.ini"
  Delete "$INSTDIR\KVN.ini"
  ; The program's own folders, whole: languages added by hand go with them.
  RMDir /r "$INSTDIR\img"
  RMDir /r "$INSTDIR\language"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: a folder the user chose may hold other files.
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${PROGRAM_KEY}"
SectionEnd

; The Windows installer, one per architecture, built on Linux by makensis through the CMake target
; package-windows (cmake/WindowsPackage.cmake). Defines (makensis -DNAME=value):
;   VERSION       1.0.3, shown to the user and in Add/Remove Programs
;   FILE_VERSION  1.0.3.5, the installer's version resource
;   ARCH          x86_64 or i686
;   PELMORAD_EXE  pelmorad.exe as built
;   PELMORA_EXE   pelmora.exe, the tray program, when the build has it
;   SOURCE_DIR    the source tree (icon, licence)
;   LICENSE_PAGE  the licence as the licence page shows it
;   OUTFILE       the installer to write
; Programs go to Program Files for everyone; the start at logon is the installing user's Run value.
; The user's settings (HKCU\Software\Vantel\Pelmora) are never touched, not even on uninstall.

!if "${ARCH}" == "x86_64"
  Target amd64-unicode
!else if "${ARCH}" == "i686"
  Target x86-unicode
!else
  !error "ARCH must be x86_64 or i686, not ${ARCH}"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelmora"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

; What the Start menu entry and the start at logon run: the tray program, or the reader in its
; console in a build without the tray program.
!ifdef PELMORA_EXE
  !define START_EXE "pelmora.exe"
  !define START_COMMAND '"$INSTDIR\pelmora.exe"'
  !define START_ARGS ""
!else
  !define START_EXE "pelmorad.exe"
  !define START_COMMAND '"$INSTDIR\pelmorad.exe" --verbose'
  !define START_ARGS "--verbose"
!endif

Name "Pelmora"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "Pelmora ${VERSION}"
!if "${ARCH}" == "x86_64"
  InstallDir "$PROGRAMFILES64\Pelmora"
!else
  ; A 32-bit program: Program Files (x86) on 64-bit Windows.
  InstallDir "$PROGRAMFILES\Pelmora"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "Pelmora"
VIAddVersionKey "CompanyName" "Vantel"
VIAddVersionKey "FileDescription" "Pelmora ${VERSION} (${ARCH}) setup"
VIAddVersionKey "FileVersion" "${FILE_VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 Vantel"

!define MUI_ICON "${SOURCE_DIR}/res/icons/mainframe.ico"
!define MUI_UNICON "${SOURCE_DIR}/res/icons/mainframe.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE_PAGE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef PELMORA_EXE
  ; The installer runs elevated, and so would a program it started: with another account's
  ; credentials its settings would be that account's, and UIPI would keep the user's shell from
  ; telling its tray icon that the taskbar was recreated. Explorer, asked to open the program,
  ; hands it to the running shell, which starts it as the logged-on user, not elevated.
  !define MUI_FINISHPAGE_RUN
  !define MUI_FINISHPAGE_RUN_TEXT "Start Pelmora"
  !define MUI_FINISHPAGE_RUN_FUNCTION PelmoraStartAsUser
  Function PelmoraStartAsUser
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\pelmora.exe"'
  FunctionEnd
!endif
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The registry view of the architecture: the 64-bit installer's keys in the 64-bit registry, the
; 32-bit one's under WOW6432Node, where Windows looks for a 32-bit program's uninstall entry.
; Shortcuts go to the Start menu of all users, like the programs.
!macro PELMORA_INIT
  !if "${ARCH}" == "x86_64"
    SetRegView 64
  !else
    SetRegView 32
  !endif
  SetShellVarContext all
!macroend

; A running program's files can be neither replaced nor deleted. Pelmora keeps nothing unsaved
; (its settings are in the registry), so the installed programs are ended.
!macro PELMORA_END_PROGRAMS
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM pelmora.exe'
  Pop $0
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM pelmorad.exe'
  Pop $0
!macroend

; Both architectures share the Start menu entry and the Run value, so uninstalling one would break
; the other: one at a time.
Function .onInit
  !if "${ARCH}" == "x86_64"
    SetRegView 32
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    StrCpy $1 "i686"
  !else
    StrCpy $0 ""
    ${If} ${RunningX64}
      SetRegView 64
      ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${EndIf}
    StrCpy $1 "x86_64"
  !endif
  !insertmacro PELMORA_INIT
  ${If} $0 != ""
    MessageBox MB_ICONSTOP|MB_OK "Pelmora for $1 is installed in $0. Uninstall it first." /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro PELMORA_INIT
FunctionEnd

Section "Pelmora (required)" SecPrograms
  SectionIn RO
  !insertmacro PELMORA_END_PROGRAMS
  SetOutPath "$INSTDIR"
  File "/oname=pelmorad.exe" "${PELMORAD_EXE}"
!ifdef PELMORA_EXE
  File "/oname=pelmora.exe" "${PELMORA_EXE}"
!endif
  File "/oname=LICENSE.txt" "${SOURCE_DIR}/LICENSE"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Pelmora.lnk" "$INSTDIR\${START_EXE}" "${START_ARGS}" \
    "$INSTDIR\${START_EXE}" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pelmora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vantel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://www.vantel.example/pelmora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${START_EXE}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start Pelmora at logon" SecLogon
  WriteRegStr HKCU "${RUN_KEY}" "Pelmora" '${START_COMMAND}'
SectionEnd

; Installing again with the start at logon unticked takes an earlier one away.
Section "-Logon off"
  ${IfNot} ${SectionIsSelected} ${SecLogon}
    DeleteRegValue HKCU "${RUN_KEY}" "Pelmora"
  ${EndIf}
SectionEnd

Section "Uninstall"
  !insertmacro PELMORA_END_PROGRAMS
  Delete "$INSTDIR\pelmora.exe"
  Delete "$INSTDIR\pelmorad.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: the user may have put files of their own there.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Pelmora.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Pelmora"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

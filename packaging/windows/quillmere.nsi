; The installer: Quillmere.exe into the program folder, a start-menu entry and an uninstaller.
; makensis -DEXE=<path to Quillmere.exe> -DREADME=<path to LIESMICH.txt> -DOUT=<setup.exe>
; The program is 64-bit, and so is its installer: it runs where the program runs.
Target amd64-unicode
!include "MUI2.nsh"

Name "Quillmere"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\Quillmere"
InstallDirRegKey HKLM "Software\Talvenmark\Quillmere Setup" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

VIProductVersion "1.0.0.1"
VIAddVersionKey /LANG=1031 "ProductName" "Anwendung Quillmere"
VIAddVersionKey /LANG=1031 "FileDescription" "Installation von Quillmere"
VIAddVersionKey /LANG=1031 "FileVersion" "1.0.0.1"
VIAddVersionKey /LANG=1031 "LegalCopyright" "Talvenmark"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\LIESMICH.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmere"

Section "Quillmere"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "/oname=Quillmere.exe" "${EXE}"
  File "/oname=LIESMICH.txt" "${README}"
  WriteUninstaller "$INSTDIR\Deinstallieren.exe"
  CreateShortcut "$SMPROGRAMS\Quillmere.lnk" "$INSTDIR\Quillmere.exe"
  WriteRegStr HKLM "Software\Talvenmark\Quillmere Setup" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quillmere"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "1.0.0.1"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Talvenmark"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quillmere.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Deinstallieren.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The user's settings stay: they are the user's, and a new version reads them again.
Section "Uninstall"
  SetRegView 64
  Delete "$SMPROGRAMS\Quillmere.lnk"
  Delete "$INSTDIR\Quillmere.exe"
  Delete "$INSTDIR\LIESMICH.txt"
  Delete "$INSTDIR\Deinstallieren.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Talvenmark\Quillmere Setup"
SectionEnd

; The installer of the configurator for 64-bit Windows, in Russian. It installs for every user of the
; machine into Program Files: the files of the portable folder, a Start menu shortcut, the .okf file
; type that opens in the program, and an uninstaller that "Programs and Features" lists and that
; removes all of it again. tools/windows-package.sh runs makensis with:
;   VERSION       the program's version, "2.04"
;   FILE_VERSION  the same as four numbers, "2.4.0.0"
;   FILES         an include file with the macros InstallFiles and UninstallFiles, made from the
;                 portable folder: every file it holds, and nothing else, is installed and removed
;   ICON          the program's icon
;   OUTFILE       the installer to make
!macro Required define
  !ifndef ${define}
    !error "makensis needs -D${define}=..."
  !endif
!macroend
!insertmacro Required VERSION
!insertmacro Required FILE_VERSION
!insertmacro Required FILES
!insertmacro Required ICON
!insertmacro Required OUTFILE

; makensis warns about any installer whose name holds "setup", as ConfigOrtex-<version>-setup.exe does:
; Windows may load its compatibility shims for installers into it. The name is the one users look for;
; the installer asks for administrator rights in its manifest, as such an installer would anyway.
!pragma warning disable 9000

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include "${FILES}"

!define TITLE "Конфигуратор Ортекс"
!define PUBLISHER "ConfigOrtex developers"
!define PROGRAM "ConfigOrtex.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ConfigOrtex"
!define PROGID "ConfigOrtex.okf"
!define SHORTCUT "$SMPROGRAMS\${TITLE}.lnk"
; Tells Explorer that file associations changed (SHCNE_ASSOCCHANGED), so icons and "open" follow.
!define ASSOCIATIONS_CHANGED "System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'"

Name "${TITLE} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\ConfigOrtex"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${TITLE} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The Russian greeting with the program's name and version takes three lines.
!define MUI_WELCOMEPAGE_TITLE_3LINES
!define MUI_FINISHPAGE_TITLE_3LINES
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "${TITLE}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Установка программы «${TITLE}» ${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "© 2026 ${PUBLISHER}, MIT License"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section
  !insertmacro InstallFiles
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  SetOutPath "$INSTDIR"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0

  ; A double-click on a configuration file opens it in the program, as "Открыть" would.
  WriteRegStr HKLM "Software\Classes\.okf" "" "${PROGID}"
  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "Конфигурация расширителя"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\${PROGRAM},0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\${PROGRAM}" "%1"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0 ; KiB

  ${ASSOCIATIONS_CHANGED}
SectionEnd

Section "Uninstall"
  ; Only what the installer put there: files the user keeps in the folder stay, and so does the folder.
  !insertmacro UninstallFiles
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"

  ; The extension is left to another program that took it over since.
  ReadRegStr $0 HKLM "Software\Classes\.okf" ""
  ${If} $0 == "${PROGID}"
    DeleteRegValue HKLM "Software\Classes\.okf" ""
  ${EndIf}
  DeleteRegKey /ifempty HKLM "Software\Classes\.okf"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${ASSOCIATIONS_CHANGED}
SectionEnd

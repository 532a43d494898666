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
;   SIGN          (optional) a command that signs the file named after it in place: the installer
;                 and the uninstaller it carries are signed with it
; Neither the installer nor the uninstaller touches the files while the program runs (it holds the
; mutex "Global\ConfigOrtex-running"): they ask the user to close it, and under /S they stop with
; exit code 3. A file they could not write or remove is listed to the user (under /S: exit code 4).
; Installing over an installed version runs that version's uninstaller first, so that no file only
; the older version had stays behind. Windows older than 10 version 1809 is refused (exit code 5).
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
!include WinVer.nsh
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
!define OKF "Software\Classes\.okf"
; Where the installer keeps the program that owned .okf before it, to give the type back on uninstall.
!define PREVIOUS_OWNER "PreviousOkfOwner"
!define RUNNING_MUTEX "Global\ConfigOrtex-running"
; Exit codes under /S, beside NSIS's own 1 (cancelled) and 2 (aborted).
!define EXIT_RUNNING 3
!define EXIT_FILES_LEFT 4
!define EXIT_OLD_WINDOWS 5
; Qt 6.4, which the program is built with, runs on Windows 10 version 1809 (build 17763) and later.
!define MINIMUM_BUILD 17763

!ifdef SIGN
  !finalize '${SIGN} "%1"' = 0
  !uninstfinalize '${SIGN} "%1"' = 0
!endif

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

; The files that could not be written or removed, one a line, for the report at the end.
Var failed

; Whether the program runs (in any session): the mutex it holds exists. Another user's copy answers
; "access denied" (5) rather than "not found" (2). Leaves "1" or "0" on the stack.
!macro ProgramRunning
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p.r0 ?e'
  Pop $1
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    Push 1
  ${ElseIf} $1 = 5
    Push 1
  ${Else}
    Push 0
  ${EndIf}
!macroend

; Waits for the user to close the program; under /S, or when the user cancels, stops with EXIT_RUNNING.
!macro WaitForProgramClosed
  ${Do}
    !insertmacro ProgramRunning
    Pop $0
    ${IfThen} $0 = 0 ${|} ${Break} ${|}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Программа «${TITLE}» запущена. Закройте её и нажмите «Повтор»." /SD IDCANCEL IDRETRY +3
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  ${Loop}
!macroend

; After a File or Delete: the file goes into the report when the command failed.
!macro Checked path
  ${If} ${Errors}
    StrCpy $failed "$failed$\r$\n${path}"
    DetailPrint "Не удалось записать или удалить: ${path}"
  ${EndIf}
  ClearErrors
!macroend

; The report of what could not be written or removed; under /S, exit code EXIT_FILES_LEFT.
!macro ReportFailed what
  ${If} $failed != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "${what}$\r$\n$failed" /SD IDOK
    SetErrorLevel ${EXIT_FILES_LEFT}
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  SetShellVarContext all
  ${IfNot} ${AtLeastBuild} ${MINIMUM_BUILD}
    MessageBox MB_OK|MB_ICONSTOP "«${TITLE}» работает в Windows 10 версии 1809 и новее (в Windows 11 тоже). \
      Обновите Windows, чтобы установить программу." /SD IDOK
    SetErrorLevel ${EXIT_OLD_WINDOWS}
    Quit
  ${EndIf}
  !insertmacro WaitForProgramClosed
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  !insertmacro WaitForProgramClosed
FunctionEnd

; The version installed before, if any, is uninstalled by its own uninstaller, which knows its files.
; It runs in place (_?=), silently, and is waited for; it cannot remove itself then, so that is done
; here.
Function UninstallPrevious
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIfNot} ${FileExists} "$0\${UNINSTALLER}"
    Return
  ${EndIf}
  DetailPrint "Удаление установленной версии из $0"
  ClearErrors
  ExecWait '"$0\${UNINSTALLER}" /S _?=$0' $1
  ${If} ${Errors}
  ${OrIf} $1 <> 0
    DetailPrint "Программа удаления установленной версии завершилась с кодом $1"
  ${EndIf}
  Delete "$0\${UNINSTALLER}"
  RMDir "$0"
  ClearErrors
FunctionEnd

Section
  Call UninstallPrevious
  ClearErrors
  !insertmacro InstallFiles
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  !insertmacro Checked "$INSTDIR\${UNINSTALLER}"

  SetOutPath "$INSTDIR"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0

  ; A double-click on a configuration file opens it in the program, as "Открыть" would, where no
  ; other program owns the type; otherwise the program is offered under "Открыть с помощью", and the
  ; owner is noted, to be given the type back should it have become the program's. A user's own
  ; choice (HKCU's UserChoice) is the user's.
  WriteRegStr HKLM "${OKF}\OpenWithProgids" "${PROGID}" ""
  ReadRegStr $0 HKLM "${OKF}" ""
  ${If} $0 == ""
    WriteRegStr HKLM "${OKF}" "" "${PROGID}"
  ${ElseIf} $0 != "${PROGID}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "${PREVIOUS_OWNER}" "$0"
  ${EndIf}
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
  !insertmacro ReportFailed "Не удалось записать файлы (закройте программы, которые их держат, и установите снова):"
SectionEnd

Section "Uninstall"
  ; Only what the installer put there: files the user keeps in the folder stay, and so does the folder.
  ClearErrors
  !insertmacro UninstallFiles
  ; A file left behind keeps the program listed in "Programs and Features", uninstaller and all, so
  ; that it can be uninstalled again once the file is free.
  ${If} $failed != ""
    !insertmacro ReportFailed "Не удалось удалить файлы (программа остаётся в списке установленных):"
    Return
  ${EndIf}
  ; Run in place by the next version's installer, the uninstaller leaves itself to that installer.
  ${If} $EXEPATH != "$INSTDIR\${UNINSTALLER}"
    Delete "$INSTDIR\${UNINSTALLER}"
  ${EndIf}
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"

  ; The type goes back to the program that owned it before, unless another one took it over since.
  DeleteRegValue HKLM "${OKF}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKLM "${OKF}\OpenWithProgids"
  ReadRegStr $0 HKLM "${OKF}" ""
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "${PREVIOUS_OWNER}"
  ${If} $0 == "${PROGID}"
    ${If} $1 != ""
      WriteRegStr HKLM "${OKF}" "" "$1"
    ${Else}
      DeleteRegValue HKLM "${OKF}" ""
    ${EndIf}
  ${EndIf}
  DeleteRegKey /ifempty HKLM "${OKF}"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${ASSOCIATIONS_CHANGED}
SectionEnd

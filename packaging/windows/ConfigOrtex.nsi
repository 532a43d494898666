; The installer of the configurator for 64-bit Windows, in Russian. It installs either for every user
; of the machine (Program Files and HKLM; administrator rights) or for the user who runs it alone
; (%LOCALAPPDATA%\Programs and HKCU; no administrator rights and no elevation prompt): the files of the
; portable folder, a Start menu shortcut, the .okf file type that opens in the program, and an
; uninstaller that "Programs and Features" lists (for every user, or for that user) and that removes all
; of it again. The first page chooses; a choice of every user without administrator rights starts the
; installer again with them (the system asks). /AllUsers and /CurrentUser choose on the command line;
; without either, a silent run (/S) installs for every user where it has administrator rights and for
; the user alone otherwise. The uninstaller works on the installation whose folder it is in.
; tools/windows-package.sh runs makensis with:
;   VERSION       the program's version, "2.04"
;   FILE_VERSION  the same as four numbers, "2.4.0.0"
;   FILES         an include file with the macros InstallFiles and UninstallFiles, made from the
;                 portable folder: every file it holds, and nothing else, is installed and removed
;   ICON          the program's icon
;   OUTFILE       the installer to make
;   SIGN          (optional) a command that signs the file named after it in place: the installer
;                 and the uninstaller it carries are signed with it
; Neither the installer nor the uninstaller touches the files while the program runs (it holds the
; mutex "Global\ConfigOrtex-running"; a release older than the mutex is found by its program file in
; the folder, which the system lets nobody write while it runs): they ask the user to close it, and
; under /S they stop with exit code 3. A file they could not write or remove is listed to the user
; (under /S: exit code 4). Installing over an installed version runs that version's uninstaller first,
; so that no file only the older version had stays behind. Windows older than 10 version 1809 is
; refused (exit code 5); /AllUsers without administrator rights under /S, too (exit code 6).
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
; Windows may take it for an installer that needs administrator rights and ask for them. The name is
; the one users look for; the manifest's "asInvoker" (RequestExecutionLevel user) keeps Windows from
; asking: only the choice of every user asks.
!pragma warning disable 9000

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinVer.nsh
!include nsDialogs.nsh
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
!define EXIT_NO_RIGHTS 6
; Qt 6.4, which the program is built with, runs on Windows 10 version 1809 (build 17763) and later.
!define MINIMUM_BUILD 17763

!ifdef SIGN
  !finalize '${SIGN} "%1"' = 0
  !uninstfinalize '${SIGN} "%1"' = 0
!endif

Name "${TITLE} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${TITLE} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The Russian farewell with the program's name and version takes three lines.
!define MUI_FINISHPAGE_TITLE_3LINES
Page custom ModePage ModePageLeave
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
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
; 1: for every user (Program Files, HKLM); 0: for the user who runs it alone (HKCU).
Var allUsers
; 1 where the process has administrator rights (elevated, or a user without the split of UAC).
Var admin
; The folder given with /D=, which every choice keeps.
Var givenDir
Var forAll

; Whether the program runs: the mutex it holds exists (in any session: another user's copy opens it
; too, and one that grants less answers "access denied", 5, rather than "not found", 2), or, for a
; release older than the mutex, the program file in the folder is in use: the system lets nobody open
; a running program's file for writing ("sharing violation", 32). Leaves "1" or "0" on the stack.
!macro ProgramRunning
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p.r0 ?e'
  Pop $1
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    Push 1
  ${ElseIf} $1 = 5
    Push 1
  ${Else}
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\${PROGRAM}", i 0x40000000, i 0, p 0, i 3, i 0x80, p 0) p.r0 ?e'
    Pop $1
    ${If} $0 P<> -1
      System::Call 'kernel32::CloseHandle(p r0)'
      Push 0
    ${ElseIf} $1 = 32
      Push 1
    ${Else}
      Push 0
    ${EndIf}
  ${EndIf}
!macroend

; Sets $admin.
!macro FindRights
  System::Call 'shell32::IsUserAnAdmin() i .r0'
  ${If} $0 <> 0
    StrCpy $admin 1
  ${Else}
    StrCpy $admin 0
  ${EndIf}
!macroend

; For every user without administrator rights: under /S, exit code EXIT_NO_RIGHTS; otherwise the file
; given starts again with them (the system asks) and with the arguments given, and this run ends.
!macro StartWithRights file arguments
  ${If} ${Silent}
    SetErrorLevel ${EXIT_NO_RIGHTS}
    Quit
  ${EndIf}
  ClearErrors
  ExecShell "runas" "${file}" "${arguments}"
  ${IfNot} ${Errors}
    Quit
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
  ${IfNot} ${AtLeastBuild} ${MINIMUM_BUILD}
    MessageBox MB_OK|MB_ICONSTOP "«${TITLE}» работает в Windows 10 версии 1809 и новее (в Windows 11 тоже). \
      Обновите Windows, чтобы установить программу." /SD IDOK
    SetErrorLevel ${EXIT_OLD_WINDOWS}
    Quit
  ${EndIf}
  StrCpy $givenDir $INSTDIR
  !insertmacro FindRights
  ; Where nothing chooses: for every user where that is possible, or where the program is installed
  ; so already (the page then offers it first).
  StrCpy $allUsers $admin
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIfNot} ${Silent}
    StrCpy $allUsers 1
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CurrentUser" $R1
  ${IfNot} ${Errors}
    StrCpy $allUsers 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    StrCpy $allUsers 1
    ${If} $admin = 0
      !insertmacro StartWithRights "$EXEPATH" "$R0"
      MessageBox MB_OK|MB_ICONEXCLAMATION "Без прав администратора программу можно установить только для вас."
      StrCpy $allUsers 0
    ${EndIf}
  ${EndIf}
  Call ApplyMode
  !insertmacro WaitForProgramClosed
FunctionEnd

; The folders and the registry of the choice: Program Files and HKLM for every user, the user's
; %LOCALAPPDATA%\Programs and HKCU for the user alone (SHCTX follows). An installed version's folder is
; kept, and so is one given with /D=.
Function ApplyMode
  ${If} $allUsers = 1
    SetShellVarContext all
    StrCpy $INSTDIR "$PROGRAMFILES64\ConfigOrtex"
  ${Else}
    SetShellVarContext current
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\ConfigOrtex"
  ${EndIf}
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
  ${If} $givenDir != ""
    StrCpy $INSTDIR $givenDir
  ${EndIf}
FunctionEnd

; The first page: for every user or for this user alone.
Function ModePage
  !insertmacro MUI_HEADER_TEXT "Для кого установить программу" "${TITLE} ${VERSION}"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "Установить «${TITLE}» для всех пользователей этого компьютера или только для вас?"
  Pop $0
  ${NSD_CreateRadioButton} 0 32u 100% 12u "Для всех пользователей (в Program Files, нужны права администратора)"
  Pop $forAll
  ${NSD_CreateRadioButton} 0 50u 100% 12u "Только для меня (в папке пользователя, права администратора не нужны)"
  Pop $0
  ${If} $allUsers = 1
    ${NSD_Check} $forAll
  ${Else}
    ${NSD_Check} $0
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $forAll $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $allUsers 1
    ${If} $admin = 0
      !insertmacro StartWithRights "$EXEPATH" "/AllUsers"
      MessageBox MB_OK|MB_ICONEXCLAMATION "Без прав администратора программу можно установить только для вас."
      Abort
    ${EndIf}
  ${Else}
    StrCpy $allUsers 0
  ${EndIf}
  Call ApplyMode
FunctionEnd

; A folder chosen on the page may hold a running program of an older release.
Function DirectoryLeave
  !insertmacro WaitForProgramClosed
FunctionEnd

; The uninstaller works on the installation in its own folder: for every user when HKLM lists it there.
Function un.onInit
  SetRegView 64
  !insertmacro FindRights
  StrCpy $allUsers 0
  SetShellVarContext current
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $allUsers 1
    SetShellVarContext all
    ${If} $admin = 0
      !insertmacro StartWithRights "$INSTDIR\${UNINSTALLER}" ""
      MessageBox MB_OK|MB_ICONSTOP "Программу, установленную для всех пользователей, удаляет администратор." /SD IDOK
      SetErrorLevel ${EXIT_NO_RIGHTS}
      Quit
    ${EndIf}
  ${EndIf}
  !insertmacro WaitForProgramClosed
FunctionEnd

; The version installed before, if any, is uninstalled by its own uninstaller, which knows its files.
; It runs in place (_?=), silently, and is waited for; it cannot remove itself then, so that is done
; here.
Function UninstallPrevious
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
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
  WriteRegStr SHCTX "${OKF}\OpenWithProgids" "${PROGID}" ""
  ReadRegStr $0 SHCTX "${OKF}" ""
  ${If} $allUsers = 0
  ${AndIf} $0 == ""
    ReadRegStr $0 HKCR ".okf" "" ; a type the machine gives another program stays that program's
  ${EndIf}
  ${If} $0 == ""
    WriteRegStr SHCTX "${OKF}" "" "${PROGID}"
  ${ElseIf} $0 != "${PROGID}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "${PREVIOUS_OWNER}" "$0"
  ${EndIf}
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Конфигурация расширителя"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\${PROGRAM},0"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\${PROGRAM}" "%1"'

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0 ; KiB

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
  DeleteRegValue SHCTX "${OKF}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty SHCTX "${OKF}\OpenWithProgids"
  ReadRegStr $0 SHCTX "${OKF}" ""
  ReadRegStr $1 SHCTX "${UNINSTALL_KEY}" "${PREVIOUS_OWNER}"
  ${If} $0 == "${PROGID}"
    ${If} $1 != ""
      WriteRegStr SHCTX "${OKF}" "" "$1"
    ${Else}
      DeleteRegValue SHCTX "${OKF}" ""
    ${EndIf}
  ${EndIf}
  DeleteRegKey /ifempty SHCTX "${OKF}"
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; For the user alone, the folder and the keys the installation made for the user's programs go
  ; where they are empty (a fresh profile may have had none).
  ${If} $allUsers = 0
    DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"
    DeleteRegKey /ifempty HKCU "Software\Classes"
    RMDir "$LOCALAPPDATA\Programs"
  ${EndIf}

  ${ASSOCIATIONS_CHANGED}
SectionEnd

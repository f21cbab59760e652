; The Windows setup of Tarnwell. Built by scripts/package-windows.sh, which passes
;   VERSION  the version of res/version.h ("3.4.5.707")
;   STAGE    the folder holding the files to install
;   ICON     the program's icon
;   OUTFILE  the setup to write
; A Unicode setup, so that its Chinese texts and shortcut names come out right on a system of any
; language: it runs on Windows 2000 and later (the 98 family takes the portable zip).
;
; What it makes, and its uninstaller removes: the program's folder in the 32-bit Program Files
; folder, the Start-menu group "Tarnwell" of all users (program, guide, uninstaller), on request
; the desktop shortcut, and the uninstall entry, whose "InstallLocation" tells the program that
; it is installed (it then keeps the user's data in Application Data\Tarnwell). The uninstaller
; also removes what the program writes by itself: its record under "SOFTWARE\Kiv" and its
; settings; the user's data (undo files, repair log, ignore list, backup) only when the user says
; so, never in a silent uninstall.
;
; Command line: /S silent; /DESKTOP also makes the desktop shortcut; /D=FOLDER another folder.
; Exit code 2: nothing was changed (Tarnwell is running, or no administrator's rights).

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WordFunc.nsh
!include x64.nsh

!define PRODUCT "Tarnwell"
!define PUBLISHER "Tarnwell"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwell"
!define GROUP "$SMPROGRAMS\Tarnwell"
!define PROGRAM_LINK "Tarnwell.lnk"
!define GUIDE_LINK "Tarnwell 使用指南.lnk"
!define UNINST_LINK "卸载 Tarnwell.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tarnwell"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

Var Updating

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenUpdating
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\tarnwell.exe"
!define MUI_FINISHPAGE_RUN_TEXT "运行 Tarnwell"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "Tarnwell 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "All rights reserved."

!define MSG_RUNNING "Tarnwell 正在运行。请先关闭 Tarnwell 和它的控制台扫描程序 tarnwell-scan，再重新运行。$\r$\n没有改变任何文件。"
!define MSG_ADMIN "安装和卸载 Tarnwell 需要管理员权限。请以管理员身份重新运行。$\r$\n没有改变任何文件。"
!define MSG_KEEP "是否保留您的数据？$\r$\n$\r$\n撤销文件、修复日志、忽略列表和注册表备份仍然留在电脑上，以后重新安装的 Tarnwell 还能使用它们（例如撤销以前的修复）。选择“否”将删除它们。"

; Ends the setup or the uninstaller with exit code 2 before it changed anything when Tarnwell runs
; (the window's one-copy mutex is taken, or a program file of the folder cannot be opened for
; writing, as the system keeps a running program's file) or the user is no administrator.
!macro REFUSE_UNLESS_FREE un
Function ${un}RefuseUnlessFree
    Push $0
    Push $1
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
    ${AndIf} $0 != ""
        MessageBox MB_OK|MB_ICONSTOP "${MSG_ADMIN}" /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    StrCpy $1 0
    System::Call 'kernel32::OpenMutexA(i 0x00100000, i 0, t "Tarnwell") i .r0'
    ${If} $0 <> 0
        System::Call 'kernel32::CloseHandle(i r0)'
        StrCpy $1 1
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\tarnwell.exe"
        ClearErrors
        FileOpen $0 "$INSTDIR\tarnwell.exe" a
        ${If} ${Errors}
            StrCpy $1 1
        ${Else}
            FileClose $0
        ${EndIf}
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\tarnwell-scan.exe"
        ClearErrors
        FileOpen $0 "$INSTDIR\tarnwell-scan.exe" a
        ${If} ${Errors}
            StrCpy $1 1
        ${Else}
            FileClose $0
        ${EndIf}
    ${EndIf}
    ${If} $1 = 1
        MessageBox MB_OK|MB_ICONSTOP "${MSG_RUNNING}" /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro REFUSE_UNLESS_FREE ""
!insertmacro REFUSE_UNLESS_FREE "un."

Section "Tarnwell" SecMain
    SectionIn RO
    ; The user may have started Tarnwell while the pages were shown.
    Call RefuseUnlessFree
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${STAGE}\tarnwell.exe"
    File "${STAGE}\tarnwell-scan.exe"
    File "${STAGE}\Kivcc.chm"
    File "${STAGE}\Kivcc-en.chm"
    File "${STAGE}\ReadMe.txt"
    File "${STAGE}\LICENSE.txt"
    ; The guide's pages, which the desktop's browser shows under a Wine whose help window cannot.
    SetOutPath "$INSTDIR\help\zh"
    File "${STAGE}\help\zh\*.*"
    SetOutPath "$INSTDIR\help\en"
    File "${STAGE}\help\en\*.*"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninst.exe"

    CreateDirectory "${GROUP}"
    CreateShortCut "${GROUP}\${PROGRAM_LINK}" "$INSTDIR\tarnwell.exe" "" "$INSTDIR\tarnwell.exe" 0
    CreateShortCut "${GROUP}\${GUIDE_LINK}" "$INSTDIR\Kivcc.chm"
    CreateShortCut "${GROUP}\${UNINST_LINK}" "$INSTDIR\uninst.exe"

    WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\tarnwell.exe,0"
    WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninst.exe"'
    WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninst.exe" /S'
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "桌面快捷方式" SecDesktop
    SetShellVarContext all
    CreateShortCut "$DESKTOP\${PROGRAM_LINK}" "$INSTDIR\tarnwell.exe" "" "$INSTDIR\tarnwell.exe" 0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} "Tarnwell 程序、控制台扫描程序和使用指南，以及开始菜单中的 Tarnwell 程序组。"
    !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} "在桌面上放一个 Tarnwell 的快捷方式。"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    ; An installed Tarnwell is updated in place, whatever its folder.
    StrCpy $Updating 0
    ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\*.*"
        StrCpy $INSTDIR $0
        StrCpy $Updating 1
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/DESKTOP" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecDesktop}
    ${EndIf}
    ; Said before any page, and checked again right before the first file is written.
    Call RefuseUnlessFree
FunctionEnd

Function un.onInit
    Call un.RefuseUnlessFree
FunctionEnd

Function SkipWhenUpdating
    ${If} $Updating == 1
        Abort
    ${EndIf}
FunctionEnd

; The user's data of the current user (Application Data\Tarnwell) and what an older portable use
; left beside the program.
!macro REMOVE_USER_DATA folder
    Delete "${folder}\Undo\*.reg"
    RMDir "${folder}\Undo"
    Delete "${folder}\Repair.log"
    Delete "${folder}\Repair.log.bak"
    Delete "${folder}\Ignore.ini"
    Delete "${folder}\Backup_Tw.reg"
!macroend

; The guide's pages in one language's folder, as the setup installs them.
!macro REMOVE_PAGES folder
    Delete "${folder}\*.htm"
    Delete "${folder}\*.css"
    RMDir "${folder}"
!macroend

Section "Uninstall"
    Call un.RefuseUnlessFree
    MessageBox MB_YESNO|MB_ICONQUESTION "${MSG_KEEP}" /SD IDYES IDYES keep
        SetShellVarContext current
        !insertmacro REMOVE_USER_DATA "$APPDATA\Tarnwell"
        !insertmacro REMOVE_USER_DATA "$INSTDIR"
    keep:

    SetShellVarContext all
    Call un.NoteWineLaunchers
    Delete "${GROUP}\${PROGRAM_LINK}"
    Delete "${GROUP}\${GUIDE_LINK}"
    Delete "${GROUP}\${UNINST_LINK}"
    RMDir "${GROUP}"
    Delete "$DESKTOP\${PROGRAM_LINK}"
    Call un.ForgetWineLaunchers

    Delete "$INSTDIR\tarnwell.exe"
    Delete "$INSTDIR\tarnwell-scan.exe"
    Delete "$INSTDIR\Kivcc.chm"
    Delete "$INSTDIR\Kivcc-en.chm"
    !insertmacro REMOVE_PAGES "$INSTDIR\help\zh"
    !insertmacro REMOVE_PAGES "$INSTDIR\help\en"
    RMDir "$INSTDIR\help"
    Delete "$INSTDIR\ReadMe.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninst.exe"
    ; The settings (window placement) are no data of the user's.
    Delete "$INSTDIR\Set.ini"
    RMDir "$INSTDIR"
    SetShellVarContext current
    Delete "$APPDATA\Tarnwell\Set.ini"
    RMDir "$APPDATA\Tarnwell"

    DeleteRegKey HKLM "${UNINST_KEY}"
    ; The program records its path here at every start.
    DeleteRegValue HKLM "SOFTWARE\Kiv" "Tarnwell"
    DeleteRegKey /ifempty HKLM "SOFTWARE\Kiv"

    Call un.RemoveOwnCopy
SectionEnd

; Under Wine, the menu builder writes a launcher, a menu file and an icon on the host's desktop for
; every Start-menu shortcut, and a folder entry for every folder of the group. Deleting the
; shortcuts leaves them; Wine itself forgets the launchers and menu files of deleted shortcuts
; ("winemenubuilder -r", run at every start of a session). The uninstaller does that at once and
; then removes the rest of what was made for this group: the folder entries and launcher folders
; that lead to nothing any more, and the icons no other launcher shows.
Var WineDataHome  ; the host's XDG data folder as Wine's path ("\\?\unix\..."), once known
Var WineIcons     ; icons of this group's launchers, each followed by "|"
Var WineIcon
Var WineIconUsed
Var WineFile
Var WineLine

; Reads, before the shortcuts go, which launchers Wine made for them (its records under
; HKCU\Software\Wine\MenuFiles: launcher file = shortcut) and the icons they show.
Function un.NoteWineLaunchers
    StrCpy $WineDataHome ""
    StrCpy $WineIcons ""
    StrCpy $0 0
    ${Do}
        EnumRegValue $1 HKCU "Software\Wine\MenuFiles" $0
        ${If} $1 == ""
            ${Break}
        ${EndIf}
        IntOp $0 $0 + 1
        ReadRegStr $2 HKCU "Software\Wine\MenuFiles" $1
        StrLen $3 "${GROUP}\"
        StrCpy $3 $2 $3
        ${If} $3 != "${GROUP}\"
        ${AndIf} $2 != "$DESKTOP\${PROGRAM_LINK}"
            ${Continue}
        ${EndIf}
        StrCpy $3 $1 "" -8
        ${If} $3 != ".desktop"
            ${Continue}
        ${EndIf}
        ClearErrors
        ${un.WordFind} $1 "\applications\wine\" "E+1{" $3
        ${IfNot} ${Errors}
            StrCpy $WineDataHome $3
        ${EndIf}
        ClearErrors
        FileOpen $WineFile $1 r
        ${IfNot} ${Errors}
            ${Do}
                ClearErrors
                FileRead $WineFile $WineLine
                ${If} ${Errors}
                    ${Break}
                ${EndIf}
                StrCpy $3 $WineLine 5
                ${If} $3 == "Icon="
                    ${un.WordFind} $WineLine "$\n" "+1{" $3
                    ${un.WordFind} $3 "$\r" "+1{" $3
                    StrCpy $3 $3 "" 5
                    StrCpy $WineIcons "$WineIcons$3|"
                    ${Break}
                ${EndIf}
            ${Loop}
            FileClose $WineFile
        ${EndIf}
    ${Loop}
FunctionEnd

Function un.ForgetWineLaunchers
    ; A 64-bit Wine has its menu builder in its own system folder only.
    ${If} ${RunningX64}
        ${DisableX64FSRedirection}
    ${EndIf}
    StrCpy $0 0
    ${If} ${FileExists} "$SYSDIR\winemenubuilder.exe"
        StrCpy $0 1
        ExecWait '"$SYSDIR\winemenubuilder.exe" -r'
    ${EndIf}
    ${If} ${RunningX64}
        ${EnableX64FSRedirection}
    ${EndIf}
    ${If} $0 = 0
        Return
    ${EndIf}
    ${If} $WineDataHome == ""
        Return
    ${EndIf}
    StrCpy $0 "$WineDataHome\applications\wine"
    StrCpy $1 "$WineDataHome\desktop-directories"
    RMDir "$0\Programs\Tarnwell"
    ${IfNot} ${FileExists} "$0\Programs\Tarnwell\*.*"
        Delete "$1\wine-Programs-Tarnwell.directory"
    ${EndIf}
    RMDir "$0\Programs"
    ${IfNot} ${FileExists} "$0\Programs\*.*"
        Delete "$1\wine-Programs.directory"
    ${EndIf}
    RMDir "$0"
    ${IfNot} ${FileExists} "$0\*.*"
        Delete "$1\wine-wine.directory"
    ${EndIf}
    ${Do}
        ${If} $WineIcons == ""
            ${Break}
        ${EndIf}
        ${un.WordFind} $WineIcons "|" "+1{" $WineIcon
        ${un.WordFind} $WineIcons "|" "+1}" $WineIcons
        ${If} $WineIcons == $WineIcon
            StrCpy $WineIcons ""
        ${EndIf}
        StrCpy $WineIconUsed 0
        ${If} ${FileExists} "$0\*.*"
            ${un.Locate} "$0" "/L=F /M=*.desktop" "un.LauncherShowsIcon"
        ${EndIf}
        ${If} $WineIconUsed = 0
        ${AndIf} $WineIcon != ""
            FindFirst $2 $3 "$WineDataHome\icons\hicolor\*"
            ${DoWhile} $3 != ""
                Delete "$WineDataHome\icons\hicolor\$3\apps\$WineIcon.png"
                FindNext $2 $3
            ${Loop}
            FindClose $2
            Delete "$WineDataHome\pixmaps\$WineIcon.xpm"
        ${EndIf}
    ${Loop}
    ; Icon folders left empty.
    FindFirst $2 $3 "$WineDataHome\icons\hicolor\*"
    ${DoWhile} $3 != ""
        ${If} $3 != "."
        ${AndIf} $3 != ".."
            RMDir "$WineDataHome\icons\hicolor\$3\apps"
            RMDir "$WineDataHome\icons\hicolor\$3"
        ${EndIf}
        FindNext $2 $3
    ${Loop}
    FindClose $2
    RMDir "$WineDataHome\icons\hicolor"
    RMDir "$WineDataHome\icons"
    RMDir "$WineDataHome\pixmaps"
FunctionEnd

; ${Locate} callback: whether the launcher $R9 shows $WineIcon.
Function un.LauncherShowsIcon
    ClearErrors
    FileOpen $WineFile $R9 r
    ${IfNot} ${Errors}
        ${Do}
            ClearErrors
            FileRead $WineFile $WineLine
            ${If} ${Errors}
                ${Break}
            ${EndIf}
            ${If} $WineLine == "Icon=$WineIcon$\n"
            ${OrIf} $WineLine == "Icon=$WineIcon$\r$\n"
            ${OrIf} $WineLine == "Icon=$WineIcon"
                StrCpy $WineIconUsed 1
                ${Break}
            ${EndIf}
        ${Loop}
        FileClose $WineFile
    ${EndIf}
    ${If} $WineIconUsed = 1
        Push "StopLocate"
    ${Else}
        Push ""
    ${EndIf}
FunctionEnd

; The uninstaller runs as a copy in a folder of its own under TEMP, which it has asked the system
; to remove at the next start: the folder first, then the copy. Wine, like Windows, takes those
; requests in order and cannot remove a folder that still holds the copy, so the folder would
; stay for ever; asking once more, the copy first, removes both.
Function un.RemoveOwnCopy
    ${If} $EXEDIR == $INSTDIR
        Return
    ${EndIf}
    System::Call 'kernel32::MoveFileExW(w "$EXEPATH", p 0, i 4)'
    System::Call 'kernel32::MoveFileExW(w "$EXEDIR", p 0, i 4)'
FunctionEnd

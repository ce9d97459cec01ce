; The per-user installer: no elevation, the program in
; %LOCALAPPDATA%\Programs\TarvikBackUp, a Start-menu entry, an uninstaller
; registered for the user. scripts/windows-installer.sh builds it with
;   makensis -DVERSION=x.y.z -DSOURCE=<runnable folder> -DFILES=<list.nsh>
;            -DOUTFILE=<setup.exe> TarvikBackUp.nsi
; where <list.nsh> holds one Delete line per file it installs, so that the
; uninstaller removes exactly those. The settings file, which the program
; writes beside itself, stays through an update and an uninstall.

Unicode true
; Wine here runs 64-bit programs only, and Windows on amd64 runs these too.
Target amd64-unicode
SetCompressor /SOLID lzma

!define APP "TarvikBackUp"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} Setup"
VIAddVersionKey "CompanyName" "the TarvikBackUp authors"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 the TarvikBackUp authors, MIT License"

LicenseData "${SOURCE}\licenses\LICENSE.txt"
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
    SetShellVarContext current
    ; An earlier version's files go first, by its own uninstaller, run in
    ; place and awaited: a file it installed that this version does not would
    ; otherwise stay behind for good, as this uninstaller knows only its own.
    ; The settings file stays, as through any uninstall.
    IfFileExists "$INSTDIR\Uninstall.exe" 0 +2
        ExecWait '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
    SetOutPath "$INSTDIR"
    File /r "${SOURCE}\*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${APP}.exe" "" "$INSTDIR\${APP}.exe" 0
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "the TarvikBackUp authors"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${APP}.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    !include "${FILES}"
    Delete "$INSTDIR\Uninstall.exe"
    Delete "$SMPROGRAMS\${APP}.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; Only empty folders go: the one that holds the settings file stays.
    RMDir "$INSTDIR\platforms"
    RMDir "$INSTDIR\styles"
    RMDir "$INSTDIR\licenses"
    RMDir "$INSTDIR"
SectionEnd

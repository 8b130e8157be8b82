; The Windows installer: both programs for every user of the machine in Program Files\Tavorin,
; a Start-menu shortcut, an entry in Apps and Features, tavorin-cli on the PATH if chosen, and an
; uninstaller that takes all of it away again. Built by scripts/windows-package:
;   makensis -DVERSION=1.0 -DSTAGE=folder -DOUTFILE=setup.exe [-DWINDOW] tavorin.nsi
; STAGE holds tavorin-cli.exe, LICENSE.txt, README.txt and, with WINDOW, tavorin.exe.
; Silent: setup.exe /S [/NOPATH] [/D=folder]; "Uninstall Tavorin.exe" /S.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!define PUBLISHER "The Tavorin developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavorin"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; Not "Uninstall.exe": the folder may be on the PATH, where "uninstall" must not start it.
!define UNINSTALLER "Uninstall Tavorin.exe"
!ifdef WINDOW
  !define MAIN_PROGRAM "tavorin.exe"
!else
  !define MAIN_PROGRAM "tavorin-cli.exe"
!endif

Name "Tavorin"
Caption "Tavorin ${VERSION} Setup"
BrandingText "Tavorin ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tavorin"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tavorin"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Tavorin ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright 2026 ${PUBLISHER} (MIT license)"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "Run Tavorin" here: it would run as the administrator that Setup runs as.
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Tavorin" SectionPrograms
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\tavorin-cli.exe"
!ifdef WINDOW
  File "${STAGE}\tavorin.exe"
  CreateShortCut "$SMPROGRAMS\Tavorin.lnk" "$INSTDIR\tavorin.exe"
!endif
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tavorin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${MAIN_PROGRAM}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!define /math PATH_LONGEST ${NSIS_MAX_STRLEN} - 1
Var PathNow   ; the machine's PATH, or "?" when it is too long to be read whole
Var PathRest  ; what PathFirst still has to split
Var PathEntry ; the entry it split off

Section "Add tavorin-cli to the PATH" SectionPath
  Call ReadPath
  ; An entry there already (put there by hand or by an earlier install) stays as it is, and
  ; so does the mark of whether the uninstaller takes it away.
  StrCpy $PathRest $PathNow
  ${DoUntil} $PathRest == ""
    Call PathFirst
    ${If} $PathEntry == $INSTDIR
    ${OrIf} $PathEntry == "$INSTDIR\"
      Return
    ${EndIf}
  ${Loop}
  ${If} $PathNow == ""
    StrCpy $1 "$INSTDIR"
  ${Else}
    StrCpy $1 "$PathNow;$INSTDIR"
  ${EndIf}
  ; A string here holds at most PATH_LONGEST characters: a PATH that was cut when read, or
  ; that would be cut when written, is left alone rather than damaged.
  StrLen $2 $1
  ${If} $PathNow == "?"
  ${OrIf} $2 >= ${PATH_LONGEST}
    MessageBox MB_OK|MB_ICONEXCLAMATION "The PATH is too long for Setup to change it.$\r$\nAdd $INSTDIR to it by hand to run tavorin-cli from any folder." /SD IDOK
    Return
  ${EndIf}
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
SectionEnd

!macro PathFunctions prefix
Function ${prefix}ReadPath
  ClearErrors
  ReadRegStr $PathNow HKLM "${ENVIRONMENT_KEY}" "Path"
  ; A value longer than a string here reads as nothing at all, as an absent one does: told
  ; apart by its name among the key's values.
  ${If} ${Errors}
    StrCpy $0 0
    ${Do}
      EnumRegValue $1 HKLM "${ENVIRONMENT_KEY}" $0
      ${If} $1 == "Path"
        StrCpy $PathNow "?"
      ${EndIf}
      IntOp $0 $0 + 1
    ${LoopUntil} $1 == ""
  ${EndIf}
  StrLen $0 $PathNow
  ${If} $0 >= ${PATH_LONGEST}
    StrCpy $PathNow "?"
  ${EndIf}
FunctionEnd

; Splits the first entry of the ;-separated $PathRest off into $PathEntry.
Function ${prefix}PathFirst
  StrCpy $0 0
  ${Do}
    StrCpy $1 $PathRest 1 $0
    ${If} $1 == ""
    ${OrIf} $1 == ";"
      ${Break}
    ${EndIf}
    IntOp $0 $0 + 1
  ${Loop}
  StrCpy $PathEntry $PathRest $0
  IntOp $0 $0 + 1
  StrCpy $PathRest $PathRest "" $0
FunctionEnd
!macroend
!insertmacro PathFunctions ""
!insertmacro PathFunctions "un."

Function .onInit
  SetRegView 64
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOPATH" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SectionPath}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $0 == 1
    Call un.RemoveFromPath
  ${EndIf}
  Delete "$INSTDIR\tavorin-cli.exe"
  Delete "$INSTDIR\tavorin.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only if empty: files that someone else put there stay.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Tavorin.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Takes every entry naming the install folder out of the machine's PATH, and nothing else.
Function un.RemoveFromPath
  Call un.ReadPath
  ${If} $PathNow == "?"
    MessageBox MB_OK|MB_ICONEXCLAMATION "The PATH is too long for the uninstaller to change it.$\r$\nTake $INSTDIR out of it by hand." /SD IDOK
    Return
  ${EndIf}
  StrCpy $2 ""  ; what stays
  StrCpy $3 0   ; whether an entry went
  StrCpy $PathRest $PathNow
  ${DoUntil} $PathRest == ""
    Call un.PathFirst
    ${If} $PathEntry == $INSTDIR
    ${OrIf} $PathEntry == "$INSTDIR\"
      StrCpy $3 1
    ${ElseIf} $2 == ""
      StrCpy $2 $PathEntry
    ${Else}
      StrCpy $2 "$2;$PathEntry"
    ${EndIf}
  ${Loop}
  ${If} $3 == 1
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $2
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
FunctionEnd

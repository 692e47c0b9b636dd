; The setup program of Pixavo Image Browser, built by scripts/package, which
; passes the version, the stripped program file, the icon and the output:
;   makensis -DVERSION=1.6.8.0 -DEXE=pixavo.exe -DICON=pixavo.ico -DOUTFILE=pixavo-setup.exe pixavo.nsi
;
; Command line of the setup program, besides NSIS's own /S (silent) and
; /D=FOLDER (the installation folder; last, unquoted):
;   /ASSOCIATE=1  make the viewer the program that opens its image types (the default)
;   /ASSOCIATE=0  leave the image types as they are
; The uninstaller takes /S as well.

!ifndef VERSION | EXE | ICON | OUTFILE
  !error "VERSION, EXE, ICON and OUTFILE must be defined (see scripts/package)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define PRODUCT "Pixavo Image Browser"
!define PUBLISHER "Corvane, Inc."
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define MENU_LINK "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvane\${PRODUCT}"
; Installing again goes where the last installation went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include StrFunc.nsh
${UnStrStr}

Var Associate      ; "1": run "pixavo.exe -install" once the files are in place
Var AssociateBox

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\pixavo.exe"
!define MUI_FINISHPAGE_RUN_TEXT "&Start ${PRODUCT}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom AssociatePageCreate AssociatePageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright © 2026 ${PUBLISHER}"

; ---------------------------------------------------------------- installing

Function .onInit
  SetShellVarContext all
  StrCpy $Associate 1
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ASSOCIATE=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == "0"
      StrCpy $Associate 0
    ${ElseIf} $R1 != "1"
      MessageBox MB_OK|MB_ICONSTOP "Unknown choice /ASSOCIATE=$R1: use /ASSOCIATE=1 or /ASSOCIATE=0." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function AssociatePageCreate
  !insertmacro MUI_HEADER_TEXT "Image types" "Choose whether ${PRODUCT} opens your pictures."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 40u "${PRODUCT} can be the program that opens JPEG, PNG, bitmap, icon and metafile images when you double-click them. The program that opens them now keeps its commands on the files' context menu, and gets them back when ${PRODUCT} is removed."
  Pop $0
  ${NSD_CreateCheckbox} 0 48u 100% 12u "&Open .jpeg, .jpg, .bmp, .ico, .png, .wmf and .emf files with ${PRODUCT}"
  Pop $AssociateBox
  ${If} $Associate == 1
    ${NSD_Check} $AssociateBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function AssociatePageLeave
  ${NSD_GetState} $AssociateBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Associate 1
  ${Else}
    StrCpy $Associate 0
  ${EndIf}
FunctionEnd

Section "-Program"
  SetOutPath "$INSTDIR"
  File "/oname=pixavo.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${MENU_LINK}" "$INSTDIR\pixavo.exe" "" "$INSTDIR\pixavo.exe" 0 SW_SHOWNORMAL "" "Browse the images of a folder"

  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pixavo.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://corvane.com/pixavo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "The entry in the list of installed programs could not be written." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ${If} $Associate == 1
    DetailPrint "Making ${PRODUCT} the program that opens its image types"
    ExecWait '"$INSTDIR\pixavo.exe" -install'
  ${EndIf}
SectionEnd

; ---------------------------------------------------------------- removing

Function un.onInit
  SetShellVarContext all
FunctionEnd

; The program's own class of an image type (on the stack) may still name the
; program file after "-uninstall": its open verb when no earlier program's
; verb was kept, its icon when there was no earlier icon. Those parts go, so
; no image type is left opening or showing a file that is no longer there.
Function un.DropPartsNamingTheProgram
  Exch $0
  Push $1
  Push $2
  ClearErrors
  ReadRegStr $1 HKCR "$0\shell\open\command" ""
  ${UnStrStr} $2 $1 "$INSTDIR\pixavo.exe"
  ${If} $2 != ""
    DeleteRegKey HKCR "$0\shell\open"
    DeleteRegKey /ifempty HKCR "$0\shell"
  ${EndIf}
  ReadRegStr $1 HKCR "$0\DefaultIcon" ""
  ${If} $1 == "$INSTDIR\pixavo.exe,0"
    DeleteRegKey HKCR "$0\DefaultIcon"
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

!macro DropPartsNamingTheProgram EXTENSION
  Push "PixavoImageBrowser${EXTENSION}Image"
  Call un.DropPartsNamingTheProgram
!macroend

Section "Uninstall"
  ; The associations first, by the program itself, while it is still there.
  ${If} ${FileExists} "$INSTDIR\pixavo.exe"
    DetailPrint "Giving the image types back to the programs that had them"
    ExecWait '"$INSTDIR\pixavo.exe" -uninstall'
  ${EndIf}
  !insertmacro DropPartsNamingTheProgram ".jpeg"
  !insertmacro DropPartsNamingTheProgram ".jpg"
  !insertmacro DropPartsNamingTheProgram ".bmp"
  !insertmacro DropPartsNamingTheProgram ".ico"
  !insertmacro DropPartsNamingTheProgram ".png"
  !insertmacro DropPartsNamingTheProgram ".wmf"
  !insertmacro DropPartsNamingTheProgram ".emf"

  Delete /REBOOTOK "$INSTDIR\pixavo.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Corvane"
  Delete "${MENU_LINK}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

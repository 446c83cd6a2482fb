; Ambrelle's Windows installer (NSIS 3, Unicode). tools/package.sh builds it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=a.b.c.d -DBINDIR=<release bin> [-DICON=<app.ico>]
;            -DOUTFILE=<setup.exe> ambrelle.nsi
; Silent use: AmbrelleSetup-<version>.exe /S [/PATH | /NOPATH] [/D=<folder>]
;             Uninstall.exe /S

Unicode true
; The programs are x64 only, and so is the installer: it runs natively, sees
; the 64-bit Program Files and registry without redirection, and 32-bit
; Windows refuses to start it at all. (-DTARGET=x86-unicode builds a 32-bit
; one, which shows its own refusal on 32-bit Windows, see CheckMachine.)
!ifndef TARGET
  !define TARGET amd64-unicode
!endif
Target ${TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!ifndef VERSION | BINDIR | OUTFILE
  !error "VERSION, BINDIR and OUTFILE must be defined (tools/package.sh)"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include x64.nsh
!addincludedir "${__FILEDIR__}"
!include path.nsh

!define PRODUCT "Ambrelle"
!define PUBLISHER "Dunmarrow"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ambrelle"
!define UNINSTALLER "Uninstall.exe"
!define MENU_FOLDER "$SMPROGRAMS\Ambrelle"
!define HELP_LINK "Ambrelle ヘルプ.lnk"
!if /FileExists "${BINDIR}/Ambgui.chm"
  !define WITH_HELP
!endif

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} セットアップ"
UninstallCaption "${PRODUCT} のアンインストール"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Dunmarrow\Ambrelle"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "Copyright (C) 2014-2026 Dunmarrow. All rights reserved."

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

Var PreviousDir

; Refusals common to the installer and the uninstaller.
!macro CheckMachine WHAT
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} は 64 ビット版 Windows 専用のため、このコンピューターでは${WHAT}できません。" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} の${WHAT}には管理者権限が必要です。管理者として実行してください。" /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
!macroend

Section "${PRODUCT} (必須)" SecProgram
  SectionIn RO
  ; An earlier installation is replaced as a whole: its own uninstaller takes
  ; away its files, shortcuts and PATH entry (wherever it was installed), and
  ; leaves what the user put into its folder.
  ${If} $PreviousDir != ""
  ${AndIf} ${FileExists} "$PreviousDir\${UNINSTALLER}"
    DetailPrint "以前のバージョンを削除しています: $PreviousDir"
    ExecWait '"$PreviousDir\${UNINSTALLER}" /S _?=$PreviousDir'
    Delete "$PreviousDir\${UNINSTALLER}"
    RMDir "$PreviousDir"
  ${EndIf}

  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${BINDIR}/Ambgui.exe"
  File "${BINDIR}/Ambcmd.exe"
  File "${BINDIR}/Amblift.exe"
  File "${BINDIR}/Ambcore.dll"
!ifdef WITH_HELP
  File "${BINDIR}/Ambgui.chm"
!endif
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\Ambgui.lnk" "$INSTDIR\Ambgui.exe" "" "$INSTDIR\Ambgui.exe" 0 \
    SW_SHOWNORMAL "" "ローカル ユーザーとグループを管理します"
  CreateShortcut "${MENU_FOLDER}\Amblift.lnk" "$INSTDIR\Amblift.exe" "" "$INSTDIR\Amblift.exe" 0 \
    SW_SHOWNORMAL "" "Ambgui を Administrator として起動します"
!ifdef WITH_HELP
  CreateShortcut "${MENU_FOLDER}\${HELP_LINK}" "$INSTDIR\Ambgui.chm"
!endif

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Ambgui.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "PATH に追加" SecPath
  Push "$INSTDIR"
  Call AddToSystemPath
  Pop $0
  ${If} $0 == "added"
    ; Only an entry this installation made is taken away again.
    WriteRegStr HKLM "${UNINST_KEY}" "PathEntry" "$INSTDIR"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${ElseIf} $0 == "present"
    DetailPrint "PATH には既に $INSTDIR が含まれています。"
  ${ElseIf} $0 == "toolong"
    MessageBox MB_ICONEXCLAMATION|MB_OK "システムの環境変数 PATH が長すぎるため、$INSTDIR を追加できませんでした。PATH は変更していません。" /SD IDOK
  ${Else}
    MessageBox MB_ICONEXCLAMATION|MB_OK "システムの環境変数 PATH を変更できませんでした。PATH は変更していません。" /SD IDOK
  ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
!ifdef WITH_HELP
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Ambgui、Ambcmd、Amblift、Ambcore.dll とヘルプをインストールし、スタート メニューに登録します。"
!else
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Ambgui、Ambcmd、Amblift と Ambcore.dll をインストールし、スタート メニューに登録します。"
!endif
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "インストール先フォルダーをシステムの PATH に追加し、どのコマンド プロンプトからも Ambcmd を実行できるようにします。"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  !insertmacro CheckMachine "インストール"
  ReadRegStr $PreviousDir HKLM "${UNINST_KEY}" "InstallLocation"
  ; The PATH choice of the earlier installation is kept unless the command line says otherwise.
  ReadRegStr $0 HKLM "${UNINST_KEY}" "PathEntry"
  ${If} $0 != ""
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/PATH" $0
  ${IfNot} ${Errors}
  ${AndIf} $0 == ""
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/NOPATH" $0
  ${IfNot} ${Errors}
  ${AndIf} $0 == ""
    !insertmacro UnselectSection ${SecPath}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegStr $0 HKLM "${UNINST_KEY}" "PathEntry"
  ${If} $0 != ""
    Push $0
    Call un.RemoveFromSystemPath
    Pop $0
    ${If} $0 == "removed"
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}

  Delete "${MENU_FOLDER}\Ambgui.lnk"
  Delete "${MENU_FOLDER}\Amblift.lnk"
!ifdef WITH_HELP
  Delete "${MENU_FOLDER}\${HELP_LINK}"
!endif
  RMDir "${MENU_FOLDER}"

  Delete "$INSTDIR\Ambgui.exe"
  Delete "$INSTDIR\Ambcmd.exe"
  Delete "$INSTDIR\Amblift.exe"
  Delete "$INSTDIR\Ambcore.dll"
!ifdef WITH_HELP
  Delete "$INSTDIR\Ambgui.chm"
!endif
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Folders go only when empty: what the user put there stays, with them.
  RMDir "$INSTDIR"
  ${If} "$INSTDIR" == "$PROGRAMFILES64\Dunmarrow\Ambrelle"
    RMDir "$PROGRAMFILES64\Dunmarrow"
  ${EndIf}

  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd

Function un.onInit
  !insertmacro CheckMachine "アンインストール"
FunctionEnd

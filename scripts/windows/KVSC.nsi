; The per-user installer of the KV tools for Windows, made by package.sh with Debian's makensis.
; No administrator rights: everything goes below the user's own folders and HKEY_CURRENT_USER.
; package.sh defines VERSION, ICON, LISTS (the folder of its generated install.nsh, listing the
; files to install, uninstall.nsh, listing them and the shortcuts to remove, and shortcuts.nsh)
; and OUTFILE.
;   Setup:     KVSC-<version>-win64-setup.exe [/S] [/D=FOLDER]
;   Uninstall: Uninstall.exe [/S] [/REMOVESETTINGS]  (the settings stay unless asked)

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

!define PRODUCT "KV Screenshot Converter"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KVSC"
!define SETTINGS_KEY "Software\KVSC"
; "Open with" lists KVSC for screenshots through a program ID of its own; the default program of
; .bmp and .jpg stays whatever it was.
!define PROGID "KVSC.Screenshot"
!define CLASSES "Software\Classes"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\KVSC"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\KVSC.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Orlinde"
VIAddVersionKey "LegalCopyright" "Orlinde"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

Function .onInit
    SetShellVarContext current
FunctionEnd

Section "KVSC"
    SetShellVarContext current
    !include "${LISTS}\install.nsh"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    !include "${LISTS}\shortcuts.nsh"

    WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Screenshot"
    WriteRegStr HKCU "${CLASSES}\${PROGID}" "FriendlyTypeName" "Screenshot"
    WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\KVSC.exe,0"
    WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\KVSC.exe" "%1"'
    WriteRegStr HKCU "${CLASSES}\Applications\KVSC.exe" "FriendlyAppName" "${PRODUCT}"
    WriteRegStr HKCU "${CLASSES}\Applications\KVSC.exe\shell\open\command" "" '"$INSTDIR\KVSC.exe" "%1"'
    WriteRegStr HKCU "${CLASSES}\Applications\KVSC.exe\SupportedTypes" ".bmp" ""
    WriteRegStr HKCU "${CLASSES}\Applications\KVSC.exe\SupportedTypes" ".jpg" ""
    WriteRegNone HKCU "${CLASSES}\.bmp\OpenWithProgids" "${PROGID}"
    WriteRegNone HKCU "${CLASSES}\.jpg\OpenWithProgids" "${PROGID}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    ; What "Apps & features" shows.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Orlinde"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\KVSC.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "un.KVSC" UninstallProgram
    SectionIn RO
    SetShellVarContext current
    !include "${LISTS}\uninstall.nsh"
    Delete "$INSTDIR\Uninstall.exe"
    ; Only when empty: a KVSC.ini or files the player put there stay; so does the programs
    ; folder where other programs are. A folder is not removed while it is the current one.
    SetOutPath "$TEMP"
    RMDir "$INSTDIR"
    RMDir "$LOCALAPPDATA\Programs"

    DeleteRegKey HKCU "${CLASSES}\${PROGID}"
    DeleteRegKey HKCU "${CLASSES}\Applications\KVSC.exe"
    DeleteRegValue HKCU "${CLASSES}\.bmp\OpenWithProgids" "${PROGID}"
    DeleteRegValue HKCU "${CLASSES}\.jpg\OpenWithProgids" "${PROGID}"
    ; The extensions' keys go only where nothing else is left in them.
    DeleteRegKey /ifempty HKCU "${CLASSES}\.bmp\OpenWithProgids"
    DeleteRegKey /ifempty HKCU "${CLASSES}\.bmp"
    DeleteRegKey /ifempty HKCU "${CLASSES}\.jpg\OpenWithProgids"
    DeleteRegKey /ifempty HKCU "${CLASSES}\.jpg"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; The keys above them too where the installer made them and nothing else is in them.
    DeleteRegKey /ifempty HKCU "${CLASSES}\Applications"
    DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"
    DeleteRegKey /ifempty HKCU "${CLASSES}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section /o "un.My KVSC settings" UninstallSettings
    DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

Function un.onInit
    SetShellVarContext current
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVESETTINGS" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${UninstallSettings}
    ${EndIf}
FunctionEnd

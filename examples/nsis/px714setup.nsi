; ZUMRA PX714 setup: the preparation that px714sup.dll does before the
; player's drivers go in, called from an ANSI NSIS installer.
;
; Build (Debian's nsis package):
;   makensis -DPX714SUP_DLL=/path/to/px714sup.dll -DOUTFILE=/path/to/px714-setup.exe px714setup.nsi
; Run silently:
;   px714-setup.exe /S /D=C:\PX714
;
; px714sup.dll travels in the installer and is unpacked into $PLUGINSDIR;
; the System plugin calls its stdcall exports by name. Every call and what
; it returned goes to the installer's details (DetailPrint) and, one line
; each, to $INSTDIR\px714sup-calls.log.
;
; The sequence is the one a PX714 setup uses: legacy players first (each
; one FindLegacyPlayers reports is removed with the index and name it
; reported), then the legacy drivers, hook, this player's own remnants, the
; service check, the INF and the filter-driver service.

Unicode false

!ifndef PX714SUP_DLL
    !define PX714SUP_DLL "..\..\build\windows\px714sup.dll"
!endif
!ifndef OUTFILE
    !define OUTFILE "px714-setup.exe"
!endif
; The filter-driver service and the driver file it runs. A real setup copies
; the driver into $SYSDIR\drivers before InstallFilter; this example carries
; no driver, so the service does not start and InstallFilter deletes it again.
!define SERVICE_NAME "Vxfilter"
!define DRIVER_PATH "System32\DRIVERS\vxfilter.sys"
!define PX714SUP "$PLUGINSDIR\px714sup.dll"

!include LogicLib.nsh

Name "ZUMRA PX714 USB MP3 player"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\ZUMRA\PX714"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles

Var Log

; Writes one line to the details and the log.
!macro Report TEXT
    DetailPrint "${TEXT}"
    FileWrite $Log "${TEXT}$\r$\n"
!macroend
!define Report "!insertmacro Report"

Section "PX714 preparation"
    SetOutPath "$INSTDIR"
    FileOpen $Log "$INSTDIR\px714sup-calls.log" w

    InitPluginsDir
    File "/oname=${PX714SUP}" "${PX714SUP_DLL}"
    File "/oname=$PLUGINSDIR\px714.inf" "px714.inf"

    ; Which Windows the DLL will see (each export asks for itself).
    System::Call "kernel32::GetVersion() i .r0"
    IntOp $1 $0 & 0xFF
    IntOp $2 $0 >> 8
    IntOp $2 $2 & 0xFF
    IntOp $3 $0 >>> 31
    ${If} $3 = 1
        ${Report} "Windows $1.$2, 95/98/Me family"
    ${Else}
        ${Report} "Windows $1.$2, NT family"
    ${EndIf}

    ; Legacy players. FindLegacyPlayers writes the catalogue index into a
    ; 16-bit integer: the System plugin has no pointer to one, so it gets a
    ; 2-byte buffer and the WORD is read back from it. The name buffer is
    ; the plugin's own (NSIS_MAX_STRLEN bytes; the DLL needs 128). Once a
    ; player's registration is gone the next call reports the next one; the
    ; loop ends when none is left or the same index comes back (its
    ; registration could not be deleted).
    StrCpy $R9 -1
    ${Do}
        System::Alloc 2
        Pop $1
        System::Call "${PX714SUP}::FindLegacyPlayers(p r1, t .r2) i .r0"
        System::Call "*$1(&i2 .r3)"
        System::Free $1
        ${If} $0 <> 1
            ${Report} "FindLegacyPlayers = $0"
            ${Break}
        ${EndIf}
        ${Report} "FindLegacyPlayers = $0 index=$3 name=$2"
        ${If} $3 <= $R9
            ${Report} "Player $3 reported again: its registration stays; stopping"
            ${Break}
        ${EndIf}
        StrCpy $R9 $3

        ; The index goes in a 4-byte argument; the name buffer may come back
        ; rewritten (the DLL uses the name the player registered under).
        System::Call "${PX714SUP}::RemoveInstalledLegacyPlayer(i r3, t r2 r4) i .r0"
        ${Report} "RemoveInstalledLegacyPlayer($3, $2) = $0 name=$4"
        System::Call "${PX714SUP}::RemoveLegacyPlayerRemnants(i r3) i .r0"
        ${Report} "RemoveLegacyPlayerRemnants($3) = $0"
    ${Loop}

    System::Call "${PX714SUP}::RemoveLegacyPlayerDrivers() i .r0"
    ${Report} "RemoveLegacyPlayerDrivers = $0"
    System::Call "${PX714SUP}::RemoveLegacyPlayerHook() i .r0"
    ${Report} "RemoveLegacyPlayerHook = $0"

    ; This player's earlier installations.
    System::Call "${PX714SUP}::RemoveDeviceRegEntries() i .r0"
    ${Report} "RemoveDeviceRegEntries = $0"
    System::Call "${PX714SUP}::RemoveVolumeRegEntries() i .r0"
    ${Report} "RemoveVolumeRegEntries = $0"
    System::Call "${PX714SUP}::RemovePlayerRemnants() i .r0"
    ${Report} "RemovePlayerRemnants = $0"

    ; NT: stops and deletes an existing service of the name (1: it is left
    ; behind). 95/98/Me: removes the player's class registration (1: found).
    System::Call "${PX714SUP}::CheckServiceName(t '${SERVICE_NAME}') i .r0"
    ${Report} "CheckServiceName(${SERVICE_NAME}) = $0"

    ; The directory carries its trailing backslash: the DLL joins the two
    ; texts as they are.
    System::Call "${PX714SUP}::RegisterInf(t '$PLUGINSDIR\', t 'px714.inf') i .r0"
    ${Report} "RegisterInf(px714.inf) = $0"

    ; 0 once the service exists (started, or deleted again after a failed
    ; step); otherwise the Windows error code. The last call unloads the DLL
    ; (?u) so that $PLUGINSDIR can be removed.
    System::Call "${PX714SUP}::InstallFilter(t '${SERVICE_NAME}', t '${DRIVER_PATH}') i .r0 ?u"
    ${Report} "InstallFilter(${SERVICE_NAME}) = $0"

    FileClose $Log
SectionEnd

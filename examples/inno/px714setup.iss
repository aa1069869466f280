; ZUMRA PX714 setup: the preparation that px714sup.dll does before the
; player's drivers go in, called from an Inno Setup script (Pascal Script).
; The same sequence as examples/nsis/px714setup.nsi; see docs/exports.md
; for what each export does.
;
; px714sup.dll and px714.inf travel inside the setup (dontcopy) and are
; unpacked into {tmp}: the DLL by the "files:" prefix of the declarations
; on its first call, the INF by ExtractTemporaryFile. Each call and its
; result go to the setup log (run the setup with /LOG, or SetupLogging=yes).
;
; Not built here (Inno Setup runs on Windows); written for Inno Setup 5.5 or
; later, ANSI or Unicode.

[Setup]
AppName=ZUMRA PX714 USB MP3 player
AppVersion=1.0.0
AppPublisher=ZUMRA
DefaultDirName={pf}\ZUMRA\PX714
DefaultGroupName=ZUMRA PX714 Multimedia Player
OutputBaseFilename=px714-setup
PrivilegesRequired=admin
SetupLogging=yes

[Files]
Source: "..\..\build\windows\px714sup.dll"; Flags: dontcopy
Source: "..\nsis\px714.inf"; Flags: dontcopy
; A real setup installs the player's files here, and its filter driver to
; {sys}\drivers before InstallFilter runs.

[Code]
const
  FilterServiceName = 'Vxfilter';
  FilterDriverPath = 'System32\DRIVERS\vxfilter.sys';

{ The fourteen exports: stdcall, ANSI texts. An AnsiString passed by value
  reaches the DLL as a pointer to its characters, so a string given the
  right length beforehand serves as an output buffer. "setuponly": the
  uninstaller does not load the DLL. }
function CheckServiceName(Name: AnsiString): Integer;
  external 'CheckServiceName@files:px714sup.dll stdcall setuponly';
function FindLegacyPlayers(var Index: Word; Name: AnsiString): Integer;
  external 'FindLegacyPlayers@files:px714sup.dll stdcall setuponly';
function InstallFilter(Name, DriverPath: AnsiString): Integer;
  external 'InstallFilter@files:px714sup.dll stdcall setuponly';
function RegisterInf(SourceDirectory, InfFileName: AnsiString): Integer;
  external 'RegisterInf@files:px714sup.dll stdcall setuponly';
function RemoveDeviceForDeviceType(HardwareIdPrefix: AnsiString; DeviceType: Cardinal): Integer;
  external 'RemoveDeviceForDeviceType@files:px714sup.dll stdcall setuponly';
function RemoveDeviceRegEntries: Integer;
  external 'RemoveDeviceRegEntries@files:px714sup.dll stdcall setuponly';
function RemoveFilter(Name, DriverPath: AnsiString): Integer;
  external 'RemoveFilter@files:px714sup.dll stdcall setuponly';
function RemoveInstalledLegacyPlayer(Index: Cardinal; Name: AnsiString): Integer;
  external 'RemoveInstalledLegacyPlayer@files:px714sup.dll stdcall setuponly';
function RemoveLegacyPlayerDrivers: Integer;
  external 'RemoveLegacyPlayerDrivers@files:px714sup.dll stdcall setuponly';
function RemoveLegacyPlayerHook: Integer;
  external 'RemoveLegacyPlayerHook@files:px714sup.dll stdcall setuponly';
function RemoveLegacyPlayerRemnants(Index: Integer): Integer;
  external 'RemoveLegacyPlayerRemnants@files:px714sup.dll stdcall setuponly';
function RemovePlayerRemnants: Integer;
  external 'RemovePlayerRemnants@files:px714sup.dll stdcall setuponly';
function RemoveVolumeRegEntries: Integer;
  external 'RemoveVolumeRegEntries@files:px714sup.dll stdcall setuponly';
function UpdateInf(SourceDirectory, InfFileName: AnsiString): Integer;
  external 'UpdateInf@files:px714sup.dll stdcall setuponly';

{ The text up to its first zero character. }
function UpToZero(const S: AnsiString): AnsiString;
var
  P: Integer;
begin
  Result := S;
  P := Pos(#0, Result);
  if P > 0 then
    SetLength(Result, P - 1);
end;

{ Removes every legacy player FindLegacyPlayers reports, handing back the
  index and name it reported. Once a player's registration is gone the next
  call reports the next one; the loop ends when none is left, or when the
  same index comes back (its registration could not be deleted). }
procedure RemoveLegacyPlayers;
var
  Index: Word;
  Previous: Integer;
  Name: AnsiString;
  Code: Integer;
begin
  Previous := -1;
  while True do
  begin
    Index := 0;
    Name := StringOfChar(#0, 128);  { the DLL writes up to 128 bytes }
    Code := FindLegacyPlayers(Index, Name);
    Log(Format('FindLegacyPlayers = %d', [Code]));
    if Code <> 1 then
      Break;
    Name := UpToZero(Name);
    Log(Format('  index=%d name=%s', [Index, Name]));
    if Index <= Previous then
    begin
      Log(Format('Player %d reported again: its registration stays; stopping', [Index]));
      Break;
    end;
    Previous := Index;
    { The name may come back rewritten in place (to the name the player
      registered under); it is never longer than the one passed. Name holds
      its own copy of the text here (UpToZero made it), so the rewrite
      changes no other string. }
    Log(Format('RemoveInstalledLegacyPlayer(%d, %s)', [Index, Name]));
    Code := RemoveInstalledLegacyPlayer(Index, Name);
    Log(Format('  = %d name=%s', [Code, UpToZero(Name)]));
    Code := RemoveLegacyPlayerRemnants(Index);
    Log(Format('RemoveLegacyPlayerRemnants(%d) = %d', [Index, Code]));
  end;
end;

{ Before the player's files go in: legacy players, their drivers and hook,
  and what earlier installations of this player left. }
procedure PrepareMachine;
begin
  RemoveLegacyPlayers;
  Log(Format('RemoveLegacyPlayerDrivers = %d', [RemoveLegacyPlayerDrivers]));
  Log(Format('RemoveLegacyPlayerHook = %d', [RemoveLegacyPlayerHook]));
  Log(Format('RemoveDeviceRegEntries = %d', [RemoveDeviceRegEntries]));
  Log(Format('RemoveVolumeRegEntries = %d', [RemoveVolumeRegEntries]));
  Log(Format('RemovePlayerRemnants = %d', [RemovePlayerRemnants]));
  { NT: stops and deletes an old service of the name (1: it is left behind).
    95/98/Me: removes the player's class registration (1: it was there). }
  Log(Format('CheckServiceName(%s) = %d', [FilterServiceName, CheckServiceName(FilterServiceName)]));
end;

{ After the files: the INF (the directory carries its trailing backslash, as
  the DLL joins the two texts as they are) and the filter-driver service. }
procedure InstallDriverSetup;
var
  Code: Integer;
begin
  ExtractTemporaryFile('px714.inf');
  Code := RegisterInf(ExpandConstant('{tmp}\'), 'px714.inf');
  Log(Format('RegisterInf(px714.inf) = %d', [Code]));
  if Code <> 0 then
    Log('The INF could not be registered; the player will ask for its driver when plugged in');
  { 0 once the service exists: started, or deleted again after a failed
    step (the trace tells which); otherwise the Windows error code. }
  Code := InstallFilter(FilterServiceName, FilterDriverPath);
  Log(Format('InstallFilter(%s) = %d', [FilterServiceName, Code]));
end;

procedure CurStepChanged(CurStep: TSetupStep);
begin
  if CurStep = ssInstall then
    PrepareMachine
  else if CurStep = ssPostInstall then
    InstallDriverSetup;
end;

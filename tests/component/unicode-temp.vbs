' The control in a script host whose temporary directory the ANSI code page
' cannot spell (run-vbscript.sh --unicode-temp sets TMP): every fetch member
' keeps its file there, LastFetchedFile names it so that the script opens
' it, and a failed fetch leaves nothing behind.
Option Explicit
On Error Resume Next

Dim failures : failures = 0
Dim shell : Set shell = CreateObject("WScript.Shell")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim env : Set env = shell.Environment("PROCESS")
Const SettingsKey = "HKLM\SOFTWARE\Quorvel\VexUpdate\"

Sub Check(condition, what)
    If Err.Number <> 0 Then
        WScript.Echo "FAILED " & what & ": error " & Hex(Err.Number) & " " & Err.Description
        failures = failures + 1
        Err.Clear
    ElseIf Not condition Then
        WScript.Echo "FAILED " & what
        failures = failures + 1
    Else
        WScript.Echo "ok     " & what
    End If
End Sub

Function ReadAll(path)
    Dim stream : Set stream = fso.OpenTextFile(path, 1)
    ReadAll = stream.ReadAll()
    stream.Close
End Function

' Each value is worked out before its check, so that a failing call shows
' as a failed check and is not skipped with it.
Dim temp : temp = shell.ExpandEnvironmentStrings("%TMP%")
Dim wideName : wideName = ChrW(&H418) & ChrW(&H440) & ChrW(&H438) & ChrW(&H43D) & ChrW(&H430) & ChrW(&H674E)
If Not fso.FolderExists(temp) Then fso.CreateFolder temp

Dim webPort : webPort = CInt(env("VEXA_LIGHTTPD_PORT"))
Dim ftpPort : ftpPort = CInt(env("VEXA_FTP_PORT"))
shell.RegWrite SettingsKey & "ConnectSOCKS", 0, "REG_DWORD"
shell.RegWrite SettingsKey & "HTTPProxy", "", "REG_SZ"
shell.RegWrite SettingsKey & "ProbeTarget", "127.0.0.1:" & webPort, "REG_SZ"
' Wine's script host cannot create a missing key (error 445); without the
' key every fetch goes directly, as wanted here.
Err.Clear
Dim web : Set web = fso.CreateTextFile("Z:" & Replace(env("VEXA_WEB_ROOT"), "/", "\") & "\vbs-wide.txt", True)
web.Write "wide" : web.Close
Dim ftp : Set ftp = fso.CreateTextFile("Z:" & Replace(env("VEXA_FTP_ROOT"), "/", "\") & "\vbs-wide.txt", True)
ftp.Write "wide" : ftp.Close

Dim ctl : Set ctl = CreateObject("Vexa3.VexCtl3.1")
Dim way, fetched, kept
For Each way In Array("FetchURL", "FetchRemoteHTTP", "FetchRemoteFTP")
    Select Case way
    Case "FetchURL" : fetched = ctl.FetchURL("http://127.0.0.1:" & webPort & "/vbs-wide.txt")
    Case "FetchRemoteHTTP" : fetched = ctl.FetchRemoteHTTP("127.0.0.1", "/vbs-wide.txt", webPort)
    Case "FetchRemoteFTP" : fetched = ctl.FetchRemoteFTP("127.0.0.1", "vbs-wide.txt", env("VEXA_FTP_USER"), _
                                                          env("VEXA_FTP_PASSWORD"), ftpPort)
    End Select
    Check fetched = True, way & " into that directory"
    kept = ctl.LastFetchedFile
    Dim isThere : isThere = InStr(kept, wideName & "\VEX") > 0 And fso.FileExists(kept)
    Check isThere, way & ": LastFetchedFile names the file there"
    Dim content : content = ReadAll(kept)
    Check content = "wide", way & ": the script reads the file by that name"
    fso.DeleteFile kept
Next
Check ctl.FetchRemoteHTTP("127.0.0.1", "/missing.txt", webPort) = False, "a fetch of a missing file fails"
Check ctl.LastFetchedFile = "", "and names no file"
Dim left : left = fso.GetFolder(temp).Files.Count
Check left = 0, "and leaves none in the directory"

fso.DeleteFile "Z:" & Replace(env("VEXA_WEB_ROOT"), "/", "\") & "\vbs-wide.txt"
fso.DeleteFile "Z:" & Replace(env("VEXA_FTP_ROOT"), "/", "\") & "\vbs-wide.txt"
Set ctl = Nothing
fso.DeleteFolder temp
WScript.Echo failures & " failures"
WScript.Quit failures

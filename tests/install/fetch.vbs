' The installed control in the script host: created by ProgID, one fetch
' from the loopback web server, and the version of the DLL the class names.
'   cscript fetch.vbs URL EXPECTED-CONTENT-FILE EXPECTED-FILE-VERSION
' Wine's cscript does not report runtime errors: the script counts its own
' failures and exits with the count.
Option Explicit
On Error Resume Next
Dim failures : failures = 0
Dim shell : Set shell = CreateObject("WScript.Shell")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim args : Set args = WScript.Arguments

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
    ReadAll = stream.ReadAll
    stream.Close
End Function

Dim ctl : Set ctl = CreateObject("Vexa3.VexCtl3.1")
Check IsObject(ctl), "the control is created by its ProgID"
Check ctl.FetchURL(args(0)), "FetchURL " & args(0)
Check ReadAll(ctl.LastFetchedFile) = ReadAll(args(1)), "the fetched file holds what the server serves"
fso.DeleteFile ctl.LastFetchedFile
Set ctl = Nothing

Dim dll : dll = shell.RegRead("HKCR\CLSID\{FD49E712-C8BD-4795-9AA0-B0B311DA3415}\InprocServer32\")
Check fso.GetFileVersion(dll) = args(2), "the version resource of " & dll & " is " & args(2)
WScript.Quit failures

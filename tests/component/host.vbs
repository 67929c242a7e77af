' The control in a real script host: created by ProgID, every member called,
' fetches against the servers on loopback. Wine's cscript does not report
' runtime errors, so the script counts its own failures and exits with the
' count.
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

Function WindowsPath(unixPath)
    WindowsPath = "Z:" & Replace(unixPath, "/", "\")
End Function

Function ReadAll(path)
    Dim stream : Set stream = fso.OpenTextFile(path, 1)
    ReadAll = stream.ReadAll()
    stream.Close
End Function

Sub Publish(dir, name, text)
    Dim stream : Set stream = fso.CreateTextFile(WindowsPath(dir) & "\" & name, True)
    stream.Write text
    stream.Close
End Sub

' With TMP naming a directory that the ANSI code page cannot spell
' (run-vbscript.sh --unicode-temp passes "unicode-temp"): every fetch member
' keeps its file there, LastFetchedFile names it so that the script opens it,
' and a failed fetch leaves nothing behind. Each value is worked out before
' its check, so that a failing call shows as a failed check.
Sub FetchIntoUnicodeTemp()
    On Error Resume Next
    Dim temp : temp = shell.ExpandEnvironmentStrings("%TMP%")
    Dim wideName : wideName = ChrW(&H418) & ChrW(&H440) & ChrW(&H438) & ChrW(&H43D) & ChrW(&H430) & ChrW(&H674E)
    If Not fso.FolderExists(temp) Then fso.CreateFolder temp
    Dim webPort : webPort = CInt(env("VEXA_LIGHTTPD_PORT"))
    ' Wine's script host cannot create a missing key (error 445); without
    ' the key every fetch goes directly, as wanted here.
    shell.RegWrite SettingsKey & "ConnectSOCKS", 0, "REG_DWORD"
    shell.RegWrite SettingsKey & "HTTPProxy", "", "REG_SZ"
    shell.RegWrite SettingsKey & "ProbeTarget", "127.0.0.1:" & webPort, "REG_SZ"
    Err.Clear
    Publish env("VEXA_WEB_ROOT"), "vbs-wide.txt", "wide"
    Publish env("VEXA_FTP_ROOT"), "vbs-wide.txt", "wide"
    Dim ctl : Set ctl = CreateObject("Vexa3.VexCtl3.1")
    Dim way, fetched, kept, isThere, content, remaining
    For Each way In Array("FetchURL", "FetchRemoteHTTP", "FetchRemoteFTP")
        Select Case way
        Case "FetchURL" : fetched = ctl.FetchURL("http://127.0.0.1:" & webPort & "/vbs-wide.txt")
        Case "FetchRemoteHTTP" : fetched = ctl.FetchRemoteHTTP("127.0.0.1", "/vbs-wide.txt", webPort)
        Case "FetchRemoteFTP" : fetched = ctl.FetchRemoteFTP("127.0.0.1", "vbs-wide.txt", env("VEXA_FTP_USER"), _
                                                              env("VEXA_FTP_PASSWORD"), CInt(env("VEXA_FTP_PORT")))
        End Select
        Check fetched = True, way & " into that directory"
        kept = ctl.LastFetchedFile
        isThere = InStr(kept, wideName & "\VEX") > 0 And fso.FileExists(kept)
        Check isThere, way & ": LastFetchedFile names the file there"
        content = ReadAll(kept)
        Check content = "wide", way & ": the script reads the file by that name"
        fso.DeleteFile kept
    Next
    Check ctl.FetchRemoteHTTP("127.0.0.1", "/missing.txt", webPort) = False, "a fetch of a missing file fails"
    Check ctl.LastFetchedFile = "", "and names no file"
    remaining = fso.GetFolder(temp).Files.Count
    Check remaining = 0, "and leaves none in the directory"
    fso.DeleteFile WindowsPath(env("VEXA_WEB_ROOT")) & "\vbs-wide.txt"
    fso.DeleteFile WindowsPath(env("VEXA_FTP_ROOT")) & "\vbs-wide.txt"
    Set ctl = Nothing
    fso.DeleteFolder temp
End Sub

If WScript.Arguments.Count > 0 Then
    FetchIntoUnicodeTemp
    WScript.Echo failures & " failures"
    WScript.Quit failures
End If

shell.RegDelete SettingsKey
Err.Clear

' The harness runs this host once per architecture, each with its own loader:
' a 32-bit host in the 64-bit prefix would be a different test.
Dim hostArch : hostArch = "AMD64"
If env("VEXA_ARCH") = "i686" Then hostArch = "x86"
Check env("PROCESSOR_ARCHITECTURE") = hostArch, "the script host runs as " & hostArch

Dim ctl : Set ctl = CreateObject("Vexa3.VexCtl3.1")
Check Not ctl Is Nothing, "CreateObject(""Vexa3.VexCtl3.1"")"
Check ctl.Version = "3.0 Build 2631", "Version is ""3.0 Build 2631"""
Check ctl.LastError = 0, "LastError is 0 on a fresh control"
Check ctl.LastFetchedFile = "", "LastFetchedFile is empty before any fetch"
' A fresh control probes the built-in target, unreachable in the test network.
Check ctl.IsInternetConnected() = False, "IsInternetConnected is False before any fetch"

Dim webPort : webPort = CInt(env("VEXA_LIGHTTPD_PORT"))
Dim ftpPort : ftpPort = CInt(env("VEXA_FTP_PORT"))
' Wine's script host cannot delete a key (RegDelete fails with error 445),
' so an earlier run leaves its values behind: those that choose a fetch's
' way are reset first.
shell.RegWrite SettingsKey & "ConnectSOCKS", 0, "REG_DWORD"
shell.RegWrite SettingsKey & "HTTPProxy", "", "REG_SZ"
shell.RegWrite SettingsKey & "ProbeTarget", "127.0.0.1:" & webPort, "REG_SZ"

Publish env("VEXA_WEB_ROOT"), "vbs-http.txt", "fetched by a script"
Check ctl.FetchRemoteHTTP("127.0.0.1", "/vbs-http.txt", webPort) = True, "FetchRemoteHTTP of a published file"
Dim kept : kept = ctl.LastFetchedFile
Check fso.FileExists(kept), "LastFetchedFile names an existing file"
Check ReadAll(kept) = "fetched by a script", "the kept file holds the body"
Check UCase(Left(fso.GetFileName(kept), 3)) = "VEX", "the kept file has the VEX prefix"
fso.DeleteFile kept
Check ctl.IsInternetConnected() = True, "IsInternetConnected is True with the settings of the last fetch"

Publish env("VEXA_FTP_ROOT"), "vbs-ftp.txt", "one" & vbLf & "two" & vbLf
Check ctl.FetchRemoteFTP("127.0.0.1", "vbs-ftp.txt", env("VEXA_FTP_USER"), env("VEXA_FTP_PASSWORD"), ftpPort) = True, _
    "FetchRemoteFTP of a published file"
Check ReadAll(ctl.LastFetchedFile) = "one" & vbCrLf & "two" & vbCrLf, "the FTP fetch arrived in ASCII type"
fso.DeleteFile ctl.LastFetchedFile

Check ctl.FetchRemoteHTTP("127.0.0.1", "/no-such-file.txt", webPort) = False, "FetchRemoteHTTP of a missing file is False"
Check ctl.LastFetchedFile = "", "LastFetchedFile is empty after a failed fetch"
Check ctl.FetchRemoteFTP("127.0.0.1", "vbs-ftp.txt", env("VEXA_FTP_USER"), "wrong", ftpPort) = False, _
    "FetchRemoteFTP with a wrong password is False"

' By URL: HTTPS with the test root trusted, and forms refused before
' anything is sent (E_INVALIDARG, which VBScript reports as its error 5).
Check ctl.FetchURL("https://localhost:" & env("VEXA_TLS_PORT") & "/vbs-http.txt") = True, "FetchURL over HTTPS"
Check ReadAll(ctl.LastFetchedFile) = "fetched by a script", "the HTTPS fetch kept the body"
fso.DeleteFile ctl.LastFetchedFile
Dim badUrl, refusal, reason
For Each badUrl In Array("", "no-scheme/file", "gopher://127.0.0.1/x", "http:///x", "http://127.0.0.1:0/x", _
                         "http://127.0.0.1/a" & vbLf & "b")
    ctl.FetchURL badUrl
    refusal = Err.Number
    reason = Err.Description
    Err.Clear
    Check refusal = 5 And reason = ctl.LastFetchErrorText And reason <> "", _
        "FetchURL refuses " & Replace(badUrl, vbLf, "\n") & " (error " & refusal & ": " & reason & ")"
Next
Check ctl.LastFetchError = -190 And ctl.LastFetchErrorDetail = 1062, "a refused URL is the last fetch's failure"
Check InStr(ctl.LastFetchErrorText, "control character") > 0, "LastFetchErrorText says why: " & ctl.LastFetchErrorText
Check ctl.FetchRemoteHTTP("127.0.0.1", "/vbs-http.txt", webPort) And ctl.LastFetchError = 0 And _
      ctl.LastFetchErrorText = "", "a completed fetch clears the failure"
fso.DeleteFile ctl.LastFetchedFile

' Through an HTTP proxy: a name only the proxy can look up arrives; squid
' without credentials is a failure with its own code.
shell.RegWrite SettingsKey & "HTTPProxy", "127.0.0.1:" & env("VEXA_TINYPROXY_PORT"), "REG_SZ"
Check ctl.FetchURL("http://" & env("VEXA_PROXY_ONLY_HOST") & ":" & webPort & "/vbs-http.txt") = True, _
    "FetchURL through the HTTP proxy " & ctl.LastFetchErrorText
If ctl.LastFetchedFile <> "" Then fso.DeleteFile ctl.LastFetchedFile
shell.RegWrite SettingsKey & "HTTPProxy", "127.0.0.1:" & env("VEXA_SQUID_PORT"), "REG_SZ"
Check ctl.FetchURL("https://localhost:" & env("VEXA_TLS_PORT") & "/vbs-http.txt") = False And _
      ctl.LastFetchError = -200 And ctl.LastFetchErrorDetail = 1070, "the proxy's 407 is the failure: " & ctl.LastFetchErrorText
shell.RegWrite SettingsKey & "HTTPProxy", "", "REG_SZ"

' Through the SOCKS proxy, as the settings say.
shell.RegWrite SettingsKey & "ConnectSOCKS", 1, "REG_DWORD"
shell.RegWrite SettingsKey & "SOCKS_ServerAddress", "127.0.0.1", "REG_SZ"
shell.RegWrite SettingsKey & "SOCKS_Port", CLng(env("VEXA_DANTE_PORT")), "REG_DWORD"
shell.RegWrite SettingsKey & "SOCKS_Version", 5, "REG_DWORD"
shell.RegWrite SettingsKey & "SOCKSAuthReqd", 1, "REG_DWORD"
shell.RegWrite SettingsKey & "SOCKS_Username", env("VEXA_PROXY_USER"), "REG_SZ"
shell.RegWrite SettingsKey & "SOCKS_Password", env("VEXA_PROXY_PASSWORD"), "REG_SZ"
Check ctl.FetchRemoteHTTP("127.0.0.1", "/vbs-http.txt", webPort) = True, "FetchRemoteHTTP through SOCKS 5 with a password"
fso.DeleteFile ctl.LastFetchedFile
Check ctl.FetchRemoteFTP("127.0.0.1", "vbs-ftp.txt", env("VEXA_FTP_USER"), env("VEXA_FTP_PASSWORD"), ftpPort) = True, _
    "FetchRemoteFTP through SOCKS 5 (active mode, BIND)"
fso.DeleteFile ctl.LastFetchedFile
Check ctl.IsInternetConnected() = True, "IsInternetConnected through the proxy"
Check ctl.LastError = 0, "LastError is still 0"

fso.DeleteFile WindowsPath(env("VEXA_WEB_ROOT")) & "\vbs-http.txt"
fso.DeleteFile WindowsPath(env("VEXA_FTP_ROOT")) & "\vbs-ftp.txt"
shell.RegDelete SettingsKey
Err.Clear
shell.RegWrite SettingsKey & "ConnectSOCKS", 0, "REG_DWORD"
Set ctl = Nothing

WScript.Echo failures & " failures"
WScript.Quit failures

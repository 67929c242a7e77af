' Vexa3 demonstration: fetches a file over HTTP and over FTP, directly and
' through a SOCKS proxy, and prints what every member of the control returns.
'
'   cscript //nologo demo.vbs HOST HTTPPORT FTPPORT FTPUSER FTPPASSWORD [PROXYHOST PROXYPORT [HTTPSURL REDIRECTURL [HTTPPROXY [FTPSURL [SIGNONPROXY [IPV6URL]]]]]]
'
' HTTPSURL and REDIRECTURL, when given, are fetched with FetchURL; with
' HTTPPROXY ("host:port") they are fetched once more through that HTTP proxy.
' FTPSURL, when given, is fetched with FetchURL over FTP with implicit TLS;
' it may carry a password, so the demo does not print it. SIGNONPROXY
' ("host:port") is an HTTP proxy that wants Windows sign-on (Negotiate):
' HTTPSURL is fetched through it with the logged-on user's logon, no
' password set anywhere.
' IPV6URL, when given, is fetched with FetchURL (an address such as
' http://[::1]:8600/).
' The proxy, when given, is configured the way an administrator would:
' values under HKLM\SOFTWARE\Quorvel\VexUpdate, read at every fetch.
Option Explicit

Dim args : Set args = WScript.Arguments
If args.Count < 5 Then
    WScript.Echo "usage: demo.vbs HOST HTTPPORT FTPPORT FTPUSER FTPPASSWORD [PROXYHOST PROXYPORT]"
    WScript.Quit 2
End If
Dim host : host = args(0)
Dim httpPort : httpPort = CInt(args(1))
Dim ftpPort : ftpPort = CInt(args(2))

Dim shell : Set shell = CreateObject("WScript.Shell")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Const SettingsKey = "HKLM\SOFTWARE\Quorvel\VexUpdate\"

Dim ctl : Set ctl = CreateObject("Vexa3.VexCtl3.1")
WScript.Echo "Script host:         " & shell.Environment("PROCESS")("PROCESSOR_ARCHITECTURE")
WScript.Echo "Version:             " & ctl.Version
WScript.Echo "LastError:           " & ctl.LastError
WScript.Echo "IsInternetConnected: " & ctl.IsInternetConnected() & "  (no fetch yet: the built-in probe target)"

Sub Report(what, completed)
    WScript.Echo what & ": " & completed
    If completed Then
        Dim file : file = ctl.LastFetchedFile
        WScript.Echo "    LastFetchedFile: " & file & " (" & fso.GetFile(file).Size & " bytes)"
        fso.DeleteFile file
    Else
        WScript.Echo "    LastFetchedFile: """ & ctl.LastFetchedFile & """"
        WScript.Echo "    LastFetchErrorText: " & ctl.LastFetchErrorText & " (" & ctl.LastFetchError & _
                     " / " & ctl.LastFetchErrorDetail & ")"
    End If
End Sub

Report "FetchRemoteHTTP  /index.txt        ", ctl.FetchRemoteHTTP(host, "/index.txt", httpPort)
Report "FetchRemoteFTP   readme.txt        ", ctl.FetchRemoteFTP(host, "readme.txt", args(3), args(4), ftpPort)
Report "FetchRemoteHTTP  /missing.txt      ", ctl.FetchRemoteHTTP(host, "/missing.txt", httpPort)
WScript.Echo "IsInternetConnected: " & ctl.IsInternetConnected() & "  (as the last fetch's settings say)"

' Watching, limiting and verifying: the time limit of each wait, the last
' fetch's byte counts and digest, a URL that names the digest its file must
' have, and the reason a refused URL gives.
WScript.Echo "TimeoutSeconds:      " & ctl.TimeoutSeconds & "  (now set to 60)"
ctl.TimeoutSeconds = 60
Dim indexUrl : indexUrl = "http://" & host & ":" & httpPort & "/index.txt"
Dim fetched : fetched = ctl.FetchURL(indexUrl)
Dim digest : digest = ctl.LastFetchedFileSHA256
WScript.Echo "FetchBytesReceived:  " & ctl.FetchBytesReceived & " of " & ctl.FetchBytesExpected & _
             ", LastFetchedFileSHA256: " & digest
If fetched Then fso.DeleteFile ctl.LastFetchedFile
Report "FetchURL /index.txt#sha256=<its digest>", ctl.FetchURL(indexUrl & "#sha256=" & digest)
Report "FetchURL /index.txt#sha256=<another> ", ctl.FetchURL(indexUrl & "#sha256=" & String(64, "0"))
ctl.CancelFetch
WScript.Echo "CancelFetch:         (no fetch runs: nothing happens)"
On Error Resume Next
ctl.FetchURL "gopher://" & host & "/x"
WScript.Echo "FetchURL gopher://...: error " & Err.Number & ", Err.Description: " & Err.Description
Err.Clear
On Error GoTo 0

If args.Count >= 7 Then
    shell.RegWrite SettingsKey & "ConnectSOCKS", 1, "REG_DWORD"
    shell.RegWrite SettingsKey & "SOCKS_ServerAddress", args(5), "REG_SZ"
    shell.RegWrite SettingsKey & "SOCKS_Port", CLng(args(6)), "REG_DWORD"
    shell.RegWrite SettingsKey & "SOCKS_Version", 5, "REG_DWORD"
    Report "FetchRemoteHTTP  via SOCKS 5       ", ctl.FetchRemoteHTTP(host, "/index.txt", httpPort)
    Report "FetchRemoteFTP   via SOCKS 5 BIND  ", ctl.FetchRemoteFTP(host, "readme.txt", args(3), args(4), ftpPort)
    shell.RegWrite SettingsKey & "SOCKS_Version", 0, "REG_DWORD"
    Report "FetchRemoteHTTP  via SOCKS 4       ", ctl.FetchRemoteHTTP(host, "/index.txt", httpPort)
    WScript.Echo "IsInternetConnected: " & ctl.IsInternetConnected() & "  (through the proxy)"
    shell.RegWrite SettingsKey & "ConnectSOCKS", 0, "REG_DWORD"
End If
If args.Count >= 9 Then
    Report "FetchURL " & args(7), ctl.FetchURL(args(7))
    Report "FetchURL " & args(8), ctl.FetchURL(args(8))
    Report "FetchURL ftp://" & host & ":" & ftpPort & "/readme.txt (image type)", _
        ctl.FetchURL("ftp://" & args(3) & ":" & args(4) & "@" & host & ":" & ftpPort & "/readme.txt")
End If
If args.Count >= 11 Then
    Report "FetchURL ftps://... (implicit TLS) ", ctl.FetchURL(args(10))
End If
If args.Count >= 13 Then
    Report "FetchURL " & args(12), ctl.FetchURL(args(12))
End If
If args.Count >= 10 Then
    shell.RegWrite SettingsKey & "HTTPProxy", args(9), "REG_SZ"
    shell.RegWrite SettingsKey & "UsePASV", 1, "REG_DWORD"
    Report "FetchRemoteHTTP  via HTTP proxy    ", ctl.FetchRemoteHTTP(host, "/index.txt", httpPort)
    Report "FetchURL " & args(7) & " via HTTP proxy (CONNECT)", ctl.FetchURL(args(7))
    Report "FetchURL ftp://... passive via HTTP proxy (CONNECT)", _
        ctl.FetchURL("ftp://" & args(3) & ":" & args(4) & "@" & host & ":" & ftpPort & "/readme.txt")
    WScript.Echo "IsInternetConnected: " & ctl.IsInternetConnected() & "  (a tunnel through the HTTP proxy)"
    shell.RegWrite SettingsKey & "HTTPProxy", "", "REG_SZ"
    shell.RegWrite SettingsKey & "UsePASV", 0, "REG_DWORD"
End If
If args.Count >= 12 Then
    shell.RegWrite SettingsKey & "HTTPProxy", args(11), "REG_SZ"
    Report "FetchURL " & args(7) & " via a Negotiate proxy (the user's logon)", ctl.FetchURL(args(7))
    shell.RegWrite SettingsKey & "HTTPProxy", "", "REG_SZ"
End If
WScript.Echo "LastError:           " & ctl.LastError

' One real transfer through Zandrel.Quelto, as a host script would run it:
'   cscript Transfer.vbs port protocol transfer fileList logFile result attempted transferred
' sets the properties, calls TransferFiles(0, 0) and checks the result (its low 16 bits) and the
' two counters. The caption "Zandrel transfer test" lets a helper find the progress window.
' Passes only on its last line, "ALL PASSED".
Option Explicit
Dim a, o, result, failures
Set a = WScript.Arguments
failures = 0
Sub Check(what, expected, actual)
  If CStr(expected) <> CStr(actual) Then
    WScript.Echo "FAIL " & what & ": expected [" & expected & "], got [" & actual & "]"
    failures = failures + 1
  End If
End Sub

Set o = CreateObject("Zandrel.Quelto")
o.Port = CInt(a(0))
Check "port selected", a(0), o.Port
o.Protocol = CInt(a(1))
o.Transfer = CLng(a(2))
o.FileList = a(3)
o.LogFilename = a(4)
o.LogToFile = 1
o.LogToScreen = 1
o.Verbose = 1
o.MaxTitle = "Zandrel transfer test"
o.SendTimeout = 20
o.RecvTimeout = 20
o.BaudRate = 115200
result = o.TransferFiles(0, 0)
WScript.Echo "result " & result & ", attempted " & o.Attempted & ", transferred " & o.Transferred
Check "result", a(5), result And &HFFFF&
Check "attempted", a(6), o.Attempted
Check "transferred", a(7), o.Transferred
If failures = 0 Then WScript.Echo "ALL PASSED" Else WScript.Echo failures & " check(s) failed"

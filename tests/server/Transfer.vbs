' Zandrel.Quelto from VBScript, on a machine without modems, then one real transfer through it
' as a host script would run it:
'   cscript Transfer.vbs port protocol transfer fileList logFile result attempted transferred
' First what this language passes (Empty, Null) and how refusals reach it as error numbers (the
' put rules, Setup, Load and Save are walked in QueltoTest.js). Then a new object (which resets
' the settings) takes the properties, calls TransferFiles(0, 0) and checks the result (its low 16
' bits) and the two counters. The caption "Zandrel transfer test" lets a helper find the progress
' window. Passes only on its last line, "ALL PASSED".
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
Sub Refused(what, expected, number)
  Check "refused " & what, expected, number
  Err.Clear
End Sub

Set o = CreateObject("Zandrel.Quelto")
o.ModemName = "Optima" : Check "no modem to name", "", o.ModemName
o.UseModem = 1 : Check "UseModem without modems", 0, o.UseModem
o.DefaultDir = Empty : Check "Empty as text", "", o.DefaultDir
o.FileList = "x" : o.FileList = Empty : Check "Empty list", "", o.FileList

' Values the dispatch layer refuses before the object sees them (overflow 6, type mismatch 13,
' read-only or unknown 438); the setting stays.
o.BaudRate = 57600 : o.WindowSize = 2048 : o.DefaultDir = "kept"
On Error Resume Next
o.WindowSize = 40000 : Refused "WindowSize = 40000", 6, Err.Number
o.BaudRate = 3000000000 : Refused "BaudRate = 3000000000", 6, Err.Number
o.BaudRate = Null : Refused "BaudRate = Null", 13, Err.Number
o.BaudRate = "fast" : Refused "BaudRate = fast", 13, Err.Number
o.DefaultDir = Null : Refused "DefaultDir = Null", 13, Err.Number
o.Attempted = 1 : Refused "Attempted", 438, Err.Number
o.Transferred = 1 : Refused "Transferred", 438, Err.Number
o.HelpFile = "x" : Refused "HelpFile", 438, Err.Number
o.NoSuchThing = 1 : Refused "NoSuchThing", 438, Err.Number
On Error GoTo 0
Check "kept BaudRate", 57600, o.BaudRate
Check "kept WindowSize", 2048, o.WindowSize
Check "kept DefaultDir", "kept", o.DefaultDir

Set o = CreateObject("Zandrel.Quelto")
o.Port = CInt(a(0))
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

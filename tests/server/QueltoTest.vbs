' Zandrel.Quelto from VBScript, on a machine without modems (run by script.sh): what this
' language passes (Empty, Null) and how refusals reach it as error numbers. The put rules (text
' and booleans for numbers included), Setup, Load and Save are walked in QueltoTest.js, a real
' transfer in Transfer.vbs. Passes only on its last line, "ALL PASSED".
Option Explicit
Dim failures, o
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
o.Port = 2 : Check "a port that is not there", 1, o.Port
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

If failures = 0 Then WScript.Echo "ALL PASSED" Else WScript.Echo failures & " check(s) failed"

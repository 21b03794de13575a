' Zandrel.Quelto from VBScript, written from the interface's documentation: every property
' through its put rules, the refusals of the dispatch layer, Reset, Load and Save, Setup, and
' the checks of TransferFiles. The machine has COM1, COM3, COM4 and two modems (run by
' script.sh). Passes only on its last line, "ALL PASSED".
Option Explicit
Dim failures, o, shell, folder, row, i
failures = 0
Set shell = CreateObject("WScript.Shell")

Sub Check(what, expected, actual)
  If CStr(expected) <> CStr(actual) Then
    WScript.Echo "FAIL " & what & ": expected [" & expected & "], got [" & actual & "]"
    failures = failures + 1
  End If
End Sub

' This VBScript engine has no Execute or Eval: properties by name go through these two.
Sub PutProp(name, value)
  Select Case name
    Case "AppendToLog" : o.AppendToLog = value
    Case "BaudRate" : o.BaudRate = value
    Case "CrashRecovery" : o.CrashRecovery = value
    Case "DefaultDir" : o.DefaultDir = value
    Case "FileList" : o.FileList = value
    Case "FlowControl" : o.FlowControl = value
    Case "HostMode" : o.HostMode = value
    Case "LogFilename" : o.LogFilename = value
    Case "LogToFile" : o.LogToFile = value
    Case "LogToScreen" : o.LogToScreen = value
    Case "MaxErrors" : o.MaxErrors = value
    Case "MaxTitle" : o.MaxTitle = value
    Case "MinTitle" : o.MinTitle = value
    Case "ModemCmd" : o.ModemCmd = value
    Case "ModemName" : o.ModemName = value
    Case "Overwrite" : o.Overwrite = value
    Case "PathSwitch" : o.PathSwitch = value
    Case "Port" : o.Port = value
    Case "Protocol" : o.Protocol = value
    Case "RecvTimeout" : o.RecvTimeout = value
    Case "SendTimeout" : o.SendTimeout = value
    Case "RunMinimized" : o.RunMinimized = value
    Case "Telephone" : o.Telephone = value
    Case "Transfer" : o.Transfer = value
    Case "UseModem" : o.UseModem = value
    Case "Verbose" : o.Verbose = value
    Case "WindowSize" : o.WindowSize = value
    Case "Attempted" : o.Attempted = value
    Case "HelpFile" : o.HelpFile = value
    Case "Transferred" : o.Transferred = value
    Case Else : o.NoSuchThing = value
  End Select
End Sub

Function GetProp(name)
  Select Case name
    Case "AppendToLog" : GetProp = o.AppendToLog
    Case "Attempted" : GetProp = o.Attempted
    Case "BaudRate" : GetProp = o.BaudRate
    Case "CrashRecovery" : GetProp = o.CrashRecovery
    Case "DefaultDir" : GetProp = o.DefaultDir
    Case "FileList" : GetProp = o.FileList
    Case "FlowControl" : GetProp = o.FlowControl
    Case "HelpFile" : GetProp = o.HelpFile
    Case "HostMode" : GetProp = o.HostMode
    Case "LogFilename" : GetProp = o.LogFilename
    Case "LogToFile" : GetProp = o.LogToFile
    Case "LogToScreen" : GetProp = o.LogToScreen
    Case "MaxErrors" : GetProp = o.MaxErrors
    Case "MaxTitle" : GetProp = o.MaxTitle
    Case "MinTitle" : GetProp = o.MinTitle
    Case "ModemCmd" : GetProp = o.ModemCmd
    Case "ModemName" : GetProp = o.ModemName
    Case "Overwrite" : GetProp = o.Overwrite
    Case "PathSwitch" : GetProp = o.PathSwitch
    Case "Port" : GetProp = o.Port
    Case "Protocol" : GetProp = o.Protocol
    Case "RecvTimeout" : GetProp = o.RecvTimeout
    Case "SendTimeout" : GetProp = o.SendTimeout
    Case "RunMinimized" : GetProp = o.RunMinimized
    Case "Telephone" : GetProp = o.Telephone
    Case "Transfer" : GetProp = o.Transfer
    Case "Transferred" : GetProp = o.Transferred
    Case "UseModem" : GetProp = o.UseModem
    Case "Verbose" : GetProp = o.Verbose
    Case "WindowSize" : GetProp = o.WindowSize
  End Select
End Function

Function PutGet(name, value)
  PutProp name, value
  PutGet = GetProp(name)
End Function

' The error number of a put, 0 when it was taken.
Function PutError(name, value)
  On Error Resume Next
  PutProp name, value
  PutError = Err.Number
  Err.Clear
End Function

Function Joined(items)
  Dim item
  Joined = ""
  For Each item In items
    Joined = Joined & "," & item
  Next
  Joined = Mid(Joined, 2)
End Function

Set o = CreateObject("Zandrel.Quelto")
folder = shell.RegRead("HKCR\CLSID\{A3A692C3-929B-4090-971E-2321CBAFE0B2}\InprocServer32\")
folder = Left(folder, InStrRev(folder, "\") - 1)

' A new object: the paths come from the module's folder as registered, no modem is selected yet.
For Each row In Array(Array("DefaultDir", folder), Array("HelpFile", folder & "\zandrel.chm"), _
    Array("LogFilename", folder & "\zandrel.log"), Array("ModemName", "Optima 288 V.34"), Array("Port", 1))
  Check "default " & row(0), row(1), GetProp(row(0))
Next

' Put rules: property, value put, value read back.
For Each row In Array( _
    Array("BaudRate", 20000, 19200), Array("BaudRate", 0, 9600), Array("BaudRate", -5, 9600), _
    Array("BaudRate", 38399, 19200), Array("BaudRate", 57600, 57600), Array("BaudRate", 200000, 115200), _
    Array("BaudRate", 2147483647, 115200), Array("BaudRate", -2147483648, 9600), _
    Array("WindowSize", 3000, 2048), Array("WindowSize", 1023, 0), Array("WindowSize", -1, 0), _
    Array("WindowSize", 1024, 1024), Array("WindowSize", 32767, 4096), _
    Array("CrashRecovery", 0, 1), Array("CrashRecovery", 4, 3), Array("CrashRecovery", -32768, 1), _
    Array("FlowControl", -1, 0), Array("FlowControl", 3, 2), Array("FlowControl", 1, 1), _
    Array("MaxErrors", -1, 0), Array("MaxErrors", 51, 50), Array("MaxErrors", 7, 7), _
    Array("Overwrite", 0, 1), Array("Overwrite", 32767, 7), Array("Overwrite", 3, 3), _
    Array("PathSwitch", -2, 0), Array("PathSwitch", 3, 2), Array("Protocol", 3, 2), _
    Array("Protocol", -1, 0), Array("Protocol", True, 0), Array("Protocol", "2", 2), _
    Array("AppendToLog", -7, -7), Array("HostMode", 2147483647, 2147483647), Array("LogToFile", 1, 1), _
    Array("LogToScreen", -1, -1), Array("RecvTimeout", 0, 0), Array("SendTimeout", -60, -60), _
    Array("RunMinimized", 1, 1), Array("Transfer", 0, 0), Array("Verbose", 5, 5), _
    Array("Port", 4, 4), Array("Port", 3, 3), Array("Port", 9, 1), Array("Port", -3, 1), Array("Port", 1, 1), _
    Array("ModemName", "Optima 33", "Optima 336 V.34"), Array("ModemName", "optima 336", "Optima 288 V.34"), _
    Array("ModemName", "Optima 336 V.34 Plus", "Optima 288 V.34"), Array("ModemName", "Optima 3", "Optima 336 V.34"), _
    Array("ModemName", "", "Optima 288 V.34"), Array("ModemName", Empty, "Optima 288 V.34"), _
    Array("UseModem", 1, 1), Array("UseModem", 0, 0), _
    Array("DefaultDir", String(300, "d"), String(260, "d")), Array("DefaultDir", Empty, ""), _
    Array("LogFilename", String(261, "l"), String(260, "l")), Array("MaxTitle", String(129, "t"), String(128, "t")), _
    Array("MinTitle", String(500, "m"), String(128, "m")), Array("ModemCmd", String(41, "c"), String(40, "c")), _
    Array("ModemCmd", 123, "123"), Array("Telephone", String(41, "5"), String(40, "5")), _
    Array("Telephone", "555 0100", "555 0100"), _
    Array("FileList", String(5000, "f"), String(5000, "f")), Array("FileList", Empty, ""))
  Check "put " & row(0) & " = " & Left(row(1), 12), row(2), PutGet(row(0), row(1))
Next

' Values the dispatch layer refuses before the object sees them (overflow 6, type mismatch 13,
' read-only or unknown 438); the setting stays.
o.BaudRate = 57600 : o.WindowSize = 2048 : o.Port = 3 : o.DefaultDir = "kept"
For Each row In Array(Array("WindowSize", 40000, 6), Array("Port", -40000, 6), _
    Array("BaudRate", 3000000000, 6), Array("BaudRate", Null, 13), Array("BaudRate", "fast", 13), _
    Array("DefaultDir", Null, 13), Array("Attempted", 1, 438), Array("Transferred", 1, 438), _
    Array("HelpFile", "x", 438), Array("NoSuchThing", 1, 438))
  Check "refused " & row(0), row(2), PutError(row(0), row(1))
Next
Check "kept BaudRate", 57600, o.BaudRate
Check "kept WindowSize", 2048, o.WindowSize
Check "kept Port", 3, o.Port
Check "kept DefaultDir", "kept", o.DefaultDir

' Reset types, and a second object resetting the first one's settings.
For Each row In Array(Array(2, 2, 1, 0), Array(3, 1, 1, 1024), Array(0, 0, 0, 0), Array(1, 0, 0, 0), Array(-9, 0, 0, 0))
  o.FileList = "a;b" : o.BaudRate = 9600
  o.Reset row(0)
  Check "Reset " & row(0) & " flow", row(1), o.FlowControl
  Check "Reset " & row(0) & " protocol", row(2), o.Protocol
  Check "Reset " & row(0) & " window", row(3), o.WindowSize
  Check "Reset " & row(0) & " list", "", o.FileList
  Check "Reset " & row(0) & " baud", 19200, o.BaudRate
Next
o.BaudRate = 115200
Dim second : Set second = CreateObject("Zandrel.Quelto.1")
Check "a second object resets the first's settings", 19200, o.BaudRate
Set second = Nothing

' Load and Save in HKCU\Software\Harbwick\Zandrel, which script.sh removed before the run (this
' script host cannot delete registry entries).
Const kKey = "HKCU\Software\Harbwick\Zandrel\"
o.BaudRate = 38400
Check "Load on a fresh user", -1, o.Load
Check "fresh user changes nothing", 38400, o.BaudRate
shell.RegWrite kKey & "BaudRate", 2400, "REG_DWORD"
Check "Load of a partial key", -1, o.Load
Check "partial key applies what is there (not snapped)", 2400, o.BaudRate

shell.RegWrite kKey & "Telephone\3.Phone", "555-0133", "REG_SZ"
o.Reset 3
o.AppendToLog = 1 : o.CrashRecovery = 2 : o.DefaultDir = "C:\In" : o.LogFilename = "C:\t.log" : o.LogToFile = 1
o.LogToScreen = 1 : o.MaxErrors = 9 : o.ModemCmd = "ATM0" : o.ModemName = "Optima 336" : o.Overwrite = 4
o.PathSwitch = 1 : o.Port = 4 : o.RecvTimeout = 30 : o.SendTimeout = 45 : o.Telephone = "#3" : o.UseModem = 1
o.HostMode = 1 : o.Transfer = 0 : o.Verbose = 1 : o.RunMinimized = 1 : o.MaxTitle = "Max" : o.MinTitle = "Min"
o.FileList = "x;y" : o.BaudRate = 57600
Check "Telephone #3 selects listing 3", "555-0133", o.Telephone
Check "Save", 0, o.Save
Check "Telephone stored as the number", "555-0133", shell.RegRead(kKey & "Telephone")
Check "ModemName stored as the name", "Optima 336 V.34", shell.RegRead(kKey & "ModemName")
Check "Port stored as the number", 4, shell.RegRead(kKey & "Port")
o.Reset 1
o.HostMode = 2 : o.Transfer = 1 : o.Verbose = 0 : o.RunMinimized = 0 : o.MaxTitle = "M2" : o.MinTitle = "m2"
o.FileList = "z"
Check "Load after Save", 0, o.Load
For Each row In Array(Array("AppendToLog", 1), Array("BaudRate", 57600), Array("CrashRecovery", 2), _
    Array("DefaultDir", "C:\In"), Array("FlowControl", 1), Array("LogFilename", "C:\t.log"), Array("LogToFile", 1), _
    Array("LogToScreen", 1), Array("MaxErrors", 9), Array("ModemCmd", "ATM0"), Array("ModemName", "Optima 336 V.34"), _
    Array("Overwrite", 4), Array("PathSwitch", 1), Array("Port", 4), Array("Protocol", 1), Array("RecvTimeout", 30), _
    Array("SendTimeout", 45), Array("Telephone", "555-0133"), Array("UseModem", 1), Array("WindowSize", 1024), _
    Array("HostMode", 2), Array("Transfer", 1), Array("Verbose", 0), Array("RunMinimized", 0), _
    Array("MaxTitle", "M2"), Array("MinTitle", "m2"), Array("FileList", "z"))
  Check "loaded " & row(0), row(1), GetProp(row(0))
Next
shell.RegWrite kKey & "ModemName", "Optima 999", "REG_SZ"
shell.RegWrite kKey & "Port", 7, "REG_DWORD"
Check "Load with a modem and a port gone", 0, o.Load
Check "a modem no longer installed selects the first", "Optima 288 V.34", o.ModemName
Check "a port no longer there selects the first", 1, o.Port

' Setup: nothing to show is E_FAIL. (The sheet itself is driven by the C++ client.)
Function SetupError(general, transfer, logging, modem)
  On Error Resume Next
  i = o.Setup(general, transfer, logging, modem)
  SetupError = Hex(Err.Number) & " " & Err.Description
  Err.Clear
End Function
Check "Setup(0, 0, 0, 0)", "80004005 ", Left(SetupError(0, 0, 0, 0), 9)

' TransferFiles refusals, with ShowErrors 0: nothing starts, no window. An odd list of name
' pairs leaves Attempted at the number of names.
o.Reset 1
For Each row In Array( _
    Array(0, 1, 0, 1, 0, "a", 1, 0), Array(2, 1, 0, 1, 0, "a", 1, 0), Array(0, 0, 1, 1, 0, "a", 2, 0), _
    Array(2, 2, 5, 0, 0, "a", 2, 0), Array(0, 0, 0, 1, 0, "", 3, 0), Array(1, 0, 0, 1, 0, "", 3, 0), _
    Array(2, 0, 0, 0, 0, "", 3, 0), Array(1, 0, 0, 1, 2, "a;b;c", 4, 3), Array(1, 1, 1, 1, 2, "a", 4, 1))
  o.Protocol = row(0) : o.FlowControl = row(1) : o.HostMode = row(2) : o.Transfer = row(3)
  o.PathSwitch = row(4) : o.FileList = row(5)
  Check "TransferFiles " & Joined(row), row(6), o.TransferFiles(0, 0)
  If Not IsEmpty(row(7)) Then Check "Attempted " & Joined(row), row(7), o.Attempted
  Check "Transferred " & Joined(row), 0, o.Transferred
Next

If failures = 0 Then WScript.Echo "ALL PASSED" Else WScript.Echo failures & " check(s) failed"

// Zandrel.Quelto from JScript, the second script engine, on a machine without modems (run by
// script.sh): names are resolved at run time here, strings go through the ANSI code page, and
// refusals arrive as exceptions. Passes only on its last line, "ALL PASSED".
var failures = 0;
function check(what, expected, actual) {
  if (String(expected) !== String(actual)) {
    WScript.Echo("FAIL " + what + ": expected [" + expected + "], got [" + actual + "]");
    failures++;
  }
}
function codes(text) {
  var c = [];
  for (var i = 0; i < text.length; i++) c.push(text.charCodeAt(i));
  return c.join(",");
}
function errorOf(call) {
  try { call(); } catch (e) { return (e.number >>> 0).toString(16) + " " + e.description; }
  return "none";
}

var o = new ActiveXObject("Zandrel.Quelto");
var rows = [["BaudRate", 56000, 38400], ["WindowSize", 2048, 2048], ["MaxErrors", 99, 50],
            ["Port", 4, 4], ["Port", 2, 1], ["ModemName", "Optima", ""], ["UseModem", 1, 0],
            ["CrashRecovery", 2, 2], ["Telephone", "", ""], ["MaxTitle", "Nightly upload", "Nightly upload"]];
for (var i = 0; i < rows.length; i++) {
  o[rows[i][0]] = rows[i][1];
  check("put " + rows[i][0] + " = " + rows[i][1], rows[i][2], o[rows[i][0]]);
}

// Through the ANSI code page (1252 here): what it holds comes back, what it cannot hold is "?".
var text = String.fromCharCode(0x5c0f, 0xfc, 0x20ac, 0x3a9, 0x41);
var held = [63, 252, 8364, 63, 65].join(",");
var names = ["DefaultDir", "LogFilename", "MaxTitle", "MinTitle", "ModemCmd", "Telephone", "FileList"];
for (var n = 0; n < names.length; n++) {
  o[names[n]] = text;
  check("code page " + names[n], held, codes(o[names[n]]));
}
o.FileList = "C:\\In\\" + String.fromCharCode(0xe9) + "t" + String.fromCharCode(0xe9, 0x3b) + "b;c";
o.Protocol = 1; o.PathSwitch = 2;
check("a non-ASCII list without its last receiver name", 4, o.TransferFiles(0, 0));

o.Reset(2);
check("Reset 2", "2,1,0", [o.FlowControl, o.Protocol, o.WindowSize].join(","));
check("Load of a user who never saved", -1, o.Load());
o.Protocol = 0; o.FlowControl = 1;
check("XON/XOFF without ZModem", 1, o.TransferFiles(0, 0));
o.FlowControl = 0; o.FileList = "";
check("no file", 3, o.TransferFiles(0, 0));
o.Protocol = 1; o.Transfer = 0; o.PathSwitch = 2; o.FileList = "a;b;c";
check("a receiver name missing", 4, o.TransferFiles(0, 0));
check("Setup(0, 0, 0, 0)", "80004005", errorOf(function () { o.Setup(0, 0, 0, 0); }).split(" ")[0]);
check("read-only Attempted", "80020003", errorOf(function () { o.Attempted = 3; }).split(" ")[0]);
check("a short beyond its range", "8002000a", errorOf(function () { o.Overwrite = 70000; }).split(" ")[0]);

WScript.Echo(failures === 0 ? "ALL PASSED" : failures + " check(s) failed");

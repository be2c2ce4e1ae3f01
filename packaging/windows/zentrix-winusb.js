// SPDX-License-Identifier: GPL-3.0-or-later
// The WinUSB driver step of the Windows Installer package (zentrix-update.wxs),
// run by Windows Installer's script host as deferred custom actions: what
// the NSIS installer's "WinUSB driver" section does for /USBID=VVVV:PPPP.
// Every failure is logged (msiexec /l*v) and never fails the installation:
// the program is installed all the same, as with the NSIS installer.

function Log(text) {
  var record = Session.Installer.CreateRecord(0);
  record.StringData(0) = "zentrix-winusb: " + text;
  Session.Message(0x04000000, record); // INSTALLMESSAGE_INFO: the log only
}

function FolderOf(path) {
  return path.substring(0, path.lastIndexOf("\\") + 1);
}

// CustomActionData: INSTALLDIR|USBID|System64Folder|the package's own path.
// Writes INSTALLDIR\driver\zentrix-winusb.inf from the template beside the
// program with the IDs filled in, takes zentrix-winusb.cat along from beside
// the package, and stages the INF with pnputil.
function WriteWinUsbInf() {
  var data = Session.Property("CustomActionData").split("|");
  var dir = data[0], id = data[1], system = data[2], source = FolderOf(data[3]);
  if (!/^[0-9A-Fa-f]{4}:[0-9A-Fa-f]{4}$/.test(id)) {
    Log("no WinUSB driver: the USB IDs '" + id + "' are not VVVV:PPPP");
    return 1;
  }
  try {
    var files = new ActiveXObject("Scripting.FileSystemObject");
    var template = files.OpenTextFile(dir + "zentrix-winusb.inf.in", 1);
    var text = template.ReadAll();
    template.Close();
    text = text.replace(/@VID@/g, id.substring(0, 4)).replace(/@PID@/g, id.substring(5, 9));
    var driver = dir + "driver\\";
    if (!files.FolderExists(driver)) files.CreateFolder(driver);
    var inf = files.CreateTextFile(driver + "zentrix-winusb.inf", true);
    inf.Write(text);
    inf.Close();
    if (files.FileExists(source + "zentrix-winusb.cat"))
      files.CopyFile(source + "zentrix-winusb.cat", driver + "zentrix-winusb.cat", true);
  } catch (e) {
    Log("no WinUSB driver: the INF was not written: " + e.message);
    return 1;
  }
  try {
    var shell = new ActiveXObject("WScript.Shell");
    var status = shell.Run("\"" + system + "pnputil.exe\" /add-driver \"" + driver +
                           "zentrix-winusb.inf\" /install", 0, true);
    if (status != 0) Log("Windows did not take the WinUSB driver for " + id + " (pnputil: " + status + ")");
  } catch (e) {
    Log("Windows did not take the WinUSB driver for " + id + ": pnputil did not run: " + e.message);
  }
  return 1;
}

// CustomActionData: INSTALLDIR. Takes away what WriteWinUsbInf wrote, which
// Windows Installer does not know of; the driver stays in the driver store
// (pnputil /delete-driver removes it).
function RemoveWinUsbInf() {
  var driver = Session.Property("CustomActionData") + "driver";
  try {
    var files = new ActiveXObject("Scripting.FileSystemObject");
    var names = ["zentrix-winusb.inf", "zentrix-winusb.cat"];
    for (var i = 0; i < names.length; i++)
      if (files.FileExists(driver + "\\" + names[i])) files.DeleteFile(driver + "\\" + names[i], true);
    // The folder goes when nothing else is in it.
    if (files.FolderExists(driver)) {
      var folder = files.GetFolder(driver);
      if (folder.Files.Count == 0 && folder.SubFolders.Count == 0) files.DeleteFolder(driver, true);
    }
  } catch (e) {
    Log("the WinUSB INF was not removed: " + e.message);
  }
  return 1;
}

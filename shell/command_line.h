#pragma once
// The launcher's command line: `zentrix-update [DIR] [OWNER]`.
#include <string>
#include <vector>

// What the command line says. The first plain argument that is not empty
// names the image directory; the last argument, when it is plain, is the
// owner window's number.
class CUpdaterCommandLineInfo {
public:
    // Called once per argument, in order. `param` is the argument without its
    // flag character, `isFlag` says it began with one, `isLast` marks the
    // final argument. Flags have no meaning for this program.
    void ParseParam(const char* param, bool isFlag, bool isLast);

    std::string m_strFileName;      // the image directory, as given
    std::string m_strPrinterName;   // the owner-window text, as given
};

// Feeds every argument after the program name to `info.ParseParam`. An
// argument is a flag when it begins with '-'; '/' begins absolute paths here.
void ParseCommandLine(const std::vector<std::string>& arguments, CUpdaterCommandLineInfo& info);

// The base directory for an image directory: empty for none, otherwise the
// directory followed by one "/", whether or not it already ends in one.
std::string BaseDirectoryFor(const std::string& fileName);

// The owner-window number in `text`, read as a decimal integer the way atoi
// reads it (leading white space and a sign allowed, stops at the first
// non-digit, 0 when there are no digits); values beyond the int range are
// held at its ends instead of overflowing.
int OwnerNumberFromText(const std::string& text);

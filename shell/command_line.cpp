#include "shell/command_line.h"

#include <cctype>
#include <climits>

void CUpdaterCommandLineInfo::ParseParam(const char* param, bool isFlag, bool isLast)
{
    if (!isFlag && m_strFileName.empty()) {
        m_strFileName = param;   // an empty argument leaves the slot open
    }
    if (!isFlag && isLast) {
        m_strPrinterName = param;
    }
}

void ParseCommandLine(const std::vector<std::string>& arguments, CUpdaterCommandLineInfo& info)
{
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool isFlag = !argument.empty() && argument[0] == '-';
        const char* param = argument.c_str() + (isFlag ? 1 : 0);
        info.ParseParam(param, isFlag, i + 1 == arguments.size());
    }
}

std::string BaseDirectoryFor(const std::string& fileName)
{
    if (fileName.empty()) {
        return {};
    }
    return fileName + "/";
}

int OwnerNumberFromText(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value >= limit) {
            value = limit;
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

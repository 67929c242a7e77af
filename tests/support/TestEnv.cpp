#include "TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace testenv {

std::string Text(const char* pszVariable)
{
    const char* pszValue = std::getenv(pszVariable);
    if (!pszValue || !*pszValue)
    {
        ADD_FAILURE() << pszVariable << " is not set: run the tests through scripts/test.sh";
        return std::string();
    }
    return pszValue;
}

uint16_t Port(const char* pszVariable)
{
    const std::string value = Text(pszVariable);
    const long port = std::strtol(value.c_str(), nullptr, 10);
    if (port <= 0 || port > 65535)
    {
        ADD_FAILURE() << pszVariable << " is not a port: " << value;
        return 0;
    }
    return static_cast<uint16_t>(port);
}

std::string WindowsPathOf(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& c : path)
    {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string FtpRoot()
{
    return WindowsPathOf(Text("VEXA_FTP_ROOT"));
}

std::string WebRoot()
{
    return WindowsPathOf(Text("VEXA_WEB_ROOT"));
}

} // namespace testenv

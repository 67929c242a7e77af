#include "ComTest.h"

std::string TempDirectory()
{
    char dir[MAX_PATH];
    const DWORD cch = GetTempPathA(sizeof(dir), dir);
    std::string path(dir, cch < sizeof(dir) ? cch : 0);
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

std::set<std::string> VexTempFiles(const std::string& dir)
{
    const std::string folder = dir.empty() ? TempDirectory() : dir;
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA((folder + "\\VEX*.tmp").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    do
        names.insert(folder + "\\" + data.cFileName);
    while (FindNextFileA(hFind, &data));
    FindClose(hFind);
    return names;
}

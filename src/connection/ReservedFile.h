// The temporary file a fetch reserves: "VEX" followed by hex digits and the
// system's ".tmp" in the user's temporary directory, created empty, and
// deleted again unless the fetch completed. A partial or empty file whose
// name nobody learns is of no use, and leaving one per failure would use up
// the temporary names.
#pragma once

#include <string>

class CReservedFile
{
public:
    CReservedFile() = default;
    ~CReservedFile();
    CReservedFile(const CReservedFile&) = delete;
    CReservedFile& operator=(const CReservedFile&) = delete;

    // Creates the file. False leaves the reason in the thread's last error
    // (ERROR_FILENAME_EXCED_RANGE for a temporary directory the system
    // cannot name) and no file behind.
    bool Reserve();

    // The temporary directory with its final backslash, known once the
    // system named it (also when no file could be made in it).
    const std::wstring& Directory() const { return m_directory; }
    // The whole path of the reserved file; empty before Reserve succeeded.
    const std::wstring& Path() const { return m_path; }

    void Keep() { m_bKeep = true; }

private:
    bool ReserveInLongDirectory();

    std::wstring m_directory;
    std::wstring m_path;
    // The form the system deletes it in, made while reserving.
    std::wstring m_systemPath;
    bool m_bKeep = false;
};

// Helpers shared by the Windows tests: the registry as a third party sees it,
// and the simulated service's state.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "sim_state.h"

namespace testutil {

void DeleteKey(const char* path);  // below HKEY_CURRENT_USER, with its subkeys
bool KeyExists(const char* path);

struct RegValue {
    bool exists = false;
    DWORD type = 0;
    std::string data;  // raw bytes as stored
    bool operator==(const RegValue&) const = default;
};
RegValue ReadValue(const char* path, const char* name);
void WriteValue(const char* path, const char* name, DWORD type, const std::string& data);
std::vector<std::string> ValueNames(const char* path);
std::string Multi(std::initializer_list<const char*> strings);  // REG_MULTI_SZ bytes
// Text of the source (UTF-8) in the ANSI code page; false where it cannot hold it.
bool InCodePage(const char* utf8, std::string& out);

// A fresh simulated phonebook with the given entries (default settings).
void ResetSim();
rassim::Entry& AddEntry(rassim::State& s, const std::string& name, const std::string& phone = "555",
                        const std::string& deviceType = "modem");
// A connection the service holds for another program; answers its handle.
uint32_t AddConnection(rassim::State& s, const std::string& entry, const std::string& deviceType,
                       const std::string& deviceName, DWORD state);
std::vector<std::string> JournalLines(const std::string& fn);

// A Unix path of the build as the Windows side sees it (drive Z:).
std::string WinPath(const std::string& unixPath);
// Runs a command line, waits for it, and answers its exit code and output.
DWORD Run(const std::string& commandLine, std::string* output = nullptr, DWORD timeoutMs = 60000);
std::string RassimCtl();
// CPU time in ms of the Linux process that runs the Wine program whose command
// line holds the given text (not a bench or test process), read from /proc:
// Wine's GetProcessTimes for another process lags by seconds. -1 if none.
double UnixCpuMs(const char* commandLinePart);

// Wine's heap errors (WINEDEBUG err+heap with +pid, written by scripts/wine-run
// into the file PENDRO_WINE_LOG names) of the processes whose ids are given,
// from the given offset of that file on. Empty without the log.
// Set aside: what a thread reports after Wine let it, ending the process,
// take a lock of a thread it had killed (test_util.cpp says why).
std::string HeapErrors(const std::vector<DWORD>& pids, long long fromOffset);
std::string HeapErrorsIn(const std::string& log, const std::vector<DWORD>& pids);
long long HeapLogSize();

// Points the test executable's import of dll!function at a replacement for
// one scope: a fault of the system, injected where the program calls it. The
// replacement reaches the real function through *original, which is set
// before the import is patched (the patch itself may allocate).
class ImportHook {
public:
    template <class F>
    ImportHook(const char* dll, const char* function, F replacement, F* original)
        : ImportHook(dll, function, reinterpret_cast<void*>(replacement), reinterpret_cast<void**>(original))
    {
    }
    ImportHook(const char* dll, const char* function, void* replacement, void** original);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;
    bool Installed() const { return !m_slots.empty(); }

private:
    std::vector<void**> m_slots;
    void* m_original = nullptr;
};

// RegEnumValueA that fails with access denied at the second value, for an
// ImportHook; the hook stores the real function in realRegEnumValueA.
extern decltype(&RegEnumValueA) realRegEnumValueA;
LONG WINAPI RegEnumValueFailingAtSecond(HKEY key, DWORD index, LPSTR name, LPDWORD nameLen, LPDWORD reserved,
                                        LPDWORD type, LPBYTE data, LPDWORD dataLen);

}  // namespace testutil

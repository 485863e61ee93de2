#include "fake_ras.h"

#include "platform/windows_api.h"

namespace {

void* Export(const char* library, const char* name) {
    HMODULE module = ::GetModuleHandleA(library);
    return module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
}

template <class Fn> void Get(Fn& fn, const char* library, const char* name) {
    fn = reinterpret_cast<Fn>(Export(library, name));
}

} // namespace

bool IsLoaded(const char* library) {
    return ::GetModuleHandleA(library) != nullptr;
}

bool IsStandIn(const char* library) {
    return Export(library, "FakeRasReset") || Export(library, "FakeRasDlgReset");
}

bool Load(const char* library) {
    return ::LoadLibraryA(library) != nullptr; // stays loaded, as in the program
}

bool FakeRas::Attach() {
    Get(m_reset, "RASAPI32.DLL", "FakeRasReset");
    Get(m_list, "RASAPI32.DLL", "FakeRasList");
    Get(m_removes, "RASAPI32.DLL", "FakeRasHangUpRemoves");
    Get(m_calls, "RASAPI32.DLL", "FakeRasCalls");
    Get(m_dlgReset, "RASDLG.DLL", "FakeRasDlgReset");
    Get(m_dlgCalls, "RASDLG.DLL", "FakeRasDlgCalls");
    return m_reset && m_list && m_removes && m_calls;
}

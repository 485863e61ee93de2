// The system's dial-up service, bound from its libraries at start; or, when "Service" names one,
// the simulator or a registered backend, as on the other systems.
#include "dialup/ras.h"
#include "dialup/service_binding.h"
#include "platform/diagnostics.h"
#include "platform/dialog.h"
#include "platform/dialog_host.h"
#include "platform/profile_store.h"
#include "platform/text_win32.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include "platform/windows_api.h"

namespace {

// The system's records in their first published layout, the one every version of the service
// accepts. The system's headers pack them to 4 bytes: on 32-bit Windows the connection record is
// 412 bytes and the dial-dialog record 36; on 64-bit the handles grow to 8 bytes and stay at
// 4-byte alignment (416 and 48).
#pragma pack(push, 4)
struct RasConnA {
    DWORD dwSize;
    void* hrasconn;
    char szEntryName[257];
    char szDeviceType[17];
    char szDeviceName[129];
};

struct RasDialDlg {
    DWORD dwSize;
    HWND hwndOwner;
    DWORD dwFlags;
    LONG xDlg;
    LONG yDlg;
    DWORD dwSubEntry;
    DWORD dwError;
    ULONG_PTR reserved;
    ULONG_PTR reserved2;
};
#pragma pack(pop)

static_assert(offsetof(RasConnA, hrasconn) == 4);
static_assert(offsetof(RasConnA, szEntryName) == 4 + sizeof(void*));
static_assert(offsetof(RasConnA, szDeviceName) == 4 + sizeof(void*) + 257 + 17);
static_assert(sizeof(RasConnA) == (sizeof(void*) == 4 ? 412 : 416));
static_assert(offsetof(RasDialDlg, dwFlags) == 4 + sizeof(void*));
static_assert(offsetof(RasDialDlg, reserved) == 24 + sizeof(void*));
static_assert(sizeof(RasDialDlg) == (sizeof(void*) == 4 ? 36 : 48));

using RasHangUpA = DWORD(WINAPI*)(void* hrasconn);
using RasEnumConnectionsA = DWORD(WINAPI*)(RasConnA* connections, DWORD* size, DWORD* count);
using RasDialDlgA = BOOL(WINAPI*)(char* phonebook, char* entry, char* phoneNumber,
                                  RasDialDlg* info);

template <class Fn> Fn Entry(HMODULE library, const char* name) {
    if (!library)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// One record to learn the size, then a buffer of exactly that size. A connection that comes up
// between the two calls makes the second one fail, and then there is none: no retry.
bool EnumerateConnections(RasEnumConnectionsA enumerate, std::vector<RASCONN>& connections) {
    connections.clear();
    DWORD size = sizeof(RasConnA);
    DWORD count = 0;
    {
        RasConnA one{};
        one.dwSize = sizeof(RasConnA);
        enumerate(&one, &size, &count); // only the size it answers counts
    }
    if (size == 0)
        return true;
    if (size < sizeof(RasConnA))
        return false; // not even one record fits
    auto buffer = std::make_unique<std::byte[]>(size);
    const DWORD first = sizeof(RasConnA);
    std::memcpy(buffer.get(), &first, sizeof first);
    count = 0;
    if (const DWORD rc = enumerate(reinterpret_cast<RasConnA*>(buffer.get()), &size, &count);
        rc != 0) {
        DiagnoseFormat("Quillmere: RasEnumConnectionsA: error %lu", static_cast<unsigned long>(rc));
        return false;
    }
    // The buffer's own size bounds the walk, whatever the count says.
    const std::size_t fit = size / sizeof(RasConnA);
    for (std::size_t i = 0; i < count && i < fit; ++i) {
        RasConnA record;
        std::memcpy(&record, buffer.get() + i * sizeof(RasConnA), sizeof record);
        const std::size_t length = ::strnlen(record.szEntryName, sizeof record.szEntryName);
        connections.push_back({reinterpret_cast<HRASCONN>(record.hrasconn),
                               Utf8FromAnsi(std::string_view(record.szEntryName, length))});
    }
    return true;
}

// Each function is bound on its own: a missing library or entry leaves only that one unbound.
// The libraries stay loaded for the life of the process.
DialupFunctions BindSystemDialup() {
    const HMODULE rasapi = ::LoadLibraryA("RASAPI32.DLL");
    const HMODULE rasdlg = ::LoadLibraryA("RASDLG.DLL");
    const auto hangUp = Entry<RasHangUpA>(rasapi, "RasHangUpA");
    const auto enumerate = Entry<RasEnumConnectionsA>(rasapi, "RasEnumConnectionsA");
    const auto dial = Entry<RasDialDlgA>(rasdlg, "RasDialDlgA");

    DialupFunctions functions;
    if (hangUp)
        functions.RasHangUp = [hangUp](HRASCONN handle) {
            return static_cast<unsigned>(hangUp(reinterpret_cast<void*>(handle)));
        };
    if (enumerate)
        functions.RasEnumConnections = [enumerate](std::vector<RASCONN>& connections) {
            return EnumerateConnections(enumerate, connections);
        };
    if (dial)
        functions.RasDialDlg = [dial](CDialog& owner, const std::string& entryName) {
            RasDialDlg info{};
            info.dwSize = sizeof info;
            info.hwndOwner = static_cast<HWND>(owner.Host().NativeWindow(owner));
            std::string entry = AnsiFromUtf8(entryName);
            return dial(nullptr, entry.data(), nullptr, &info) != 0;
        };
    if (!hangUp || !enumerate || !dial)
        DiagnoseFormat("Quillmere: dial-up functions bound: hang-up %s, list %s, dial %s",
                       hangUp ? "yes" : "no", enumerate ? "yes" : "no", dial ? "yes" : "no");
    return functions;
}

bool IsSystemChoice(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return name.empty() || name == "auto" || name == "ras";
}

} // namespace

// The system's service is not one of the program's services: BindDialupFunctions binds it
// directly, so no other name belongs to the system here.
std::shared_ptr<IDialupService> OpenSystemDialupService(const std::string&, const DialupBackends&,
                                                        IProfileStore&, std::string&) {
    return nullptr;
}

DialupFunctions BindDialupFunctions(const DialupBackends& backends, IProfileStore& profile) {
    if (IsSystemChoice(DialupServiceChoice(profile)))
        return BindSystemDialup();
    std::string reason;
    std::shared_ptr<IDialupService> service = OpenDialupService(backends, profile, reason);
    if (!service)
        DiagnoseFormat("Quillmere: dial-up functions not bound: %s", reason.c_str());
    return BindDialupService(std::move(service));
}

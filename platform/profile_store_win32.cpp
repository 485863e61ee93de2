// The settings in the registry, where the program has always kept them:
// HKEY_CURRENT_USER\Software\<company>\<application>\<section>, integers as REG_DWORD and texts
// as REG_SZ. Writes go to the registry at once; the registry itself keeps them whole. Each value
// is set on its own, never read, merged and written back: two copies saving at once need no lock
// between them, and neither touches a value the other saved but it did not write.
#include "platform/profile_store.h"

#include "platform/diagnostics.h"
#include "platform/text_win32.h"

#include <atomic>
#include <cstdint>

#include "platform/windows_api.h"

namespace {

class RegistryProfileStore : public IProfileStore {
public:
    explicit RegistryProfileStore(std::string keyPath) : m_keyPath(std::move(keyPath)) {}

    std::optional<std::string> Read(const std::string& section, const std::string& entry) override {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, WideFromUtf8(SectionPath(section)).c_str(), 0,
                            KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return std::nullopt;
        const std::wstring name = WideFromUtf8(entry);
        DWORD type = 0, size = 0;
        std::optional<std::string> value;
        if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS) {
            std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
            DWORD dword = 0;
            BYTE* data = type == REG_DWORD ? reinterpret_cast<BYTE*>(&dword)
                                           : reinterpret_cast<BYTE*>(buffer.data());
            DWORD capacity = type == REG_DWORD
                                 ? sizeof dword
                                 : static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
            if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &capacity) ==
                ERROR_SUCCESS) {
                if (type == REG_DWORD)
                    value = std::to_string(static_cast<std::int32_t>(dword));
                else if (type == REG_SZ || type == REG_EXPAND_SZ) {
                    buffer.resize(capacity / sizeof(wchar_t));
                    while (!buffer.empty() && buffer.back() == L'\0')
                        buffer.pop_back();
                    value = Utf8FromWide(buffer);
                }
            }
        }
        ::RegCloseKey(key);
        return value;
    }

    void Write(const std::string& section, const std::string& entry,
               const std::string& value) override {
        const std::wstring text = WideFromUtf8(value);
        Set(section, entry, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    void WriteInt(const std::string& section, const std::string& entry, int value) override {
        const DWORD dword = static_cast<DWORD>(value);
        Set(section, entry, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    }

    void Erase(const std::string& section, const std::string& entry) override {
        HKEY key = nullptr;
        LSTATUS rc = ::RegOpenKeyExW(HKEY_CURRENT_USER, WideFromUtf8(SectionPath(section)).c_str(),
                                     0, KEY_SET_VALUE, &key);
        if (rc == ERROR_SUCCESS) {
            rc = ::RegDeleteValueW(key, WideFromUtf8(entry).c_str());
            ::RegCloseKey(key);
        }
        // Nothing there is what was asked for.
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
            m_ok = false;
            DiagnoseFormat("Quillmere: cannot remove %s\\%s: %s", SectionPath(section).c_str(),
                           entry.c_str(), SystemErrorText(static_cast<unsigned long>(rc)).c_str());
        }
    }

    bool Flush() override { return m_ok.exchange(true); }

    std::string Location() const override { return "HKEY_CURRENT_USER\\" + m_keyPath; }

private:
    std::string SectionPath(const std::string& section) const { return m_keyPath + "\\" + section; }

    void Set(const std::string& section, const std::string& entry, DWORD type, const BYTE* data,
             DWORD size) {
        HKEY key = nullptr;
        LSTATUS rc =
            ::RegCreateKeyExW(HKEY_CURRENT_USER, WideFromUtf8(SectionPath(section)).c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        if (rc == ERROR_SUCCESS) {
            rc = ::RegSetValueExW(key, WideFromUtf8(entry).c_str(), 0, type, data, size);
            ::RegCloseKey(key);
        }
        if (rc != ERROR_SUCCESS) {
            // Flush reports it: the dialog stays dirty and says the save failed.
            m_ok = false;
            DiagnoseFormat("Quillmere: cannot write %s\\%s: %s", SectionPath(section).c_str(),
                           entry.c_str(), SystemErrorText(static_cast<unsigned long>(rc)).c_str());
        }
    }

    std::string m_keyPath;
    std::atomic<bool> m_ok{true}; // no write failed since the last Flush
};

} // namespace

std::shared_ptr<IProfileStore> OpenUserProfileStore(const std::string& company,
                                                    const std::string& application) {
    return std::make_shared<RegistryProfileStore>("Software\\" + company + "\\" + application);
}

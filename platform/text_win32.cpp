#include "platform/text_win32.h"

#include "platform/windows_api.h"

namespace {

std::wstring ToWide(unsigned codePage, std::string_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), n);
    return wide;
}

std::string FromWide(unsigned codePage, std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n =
        ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), n, nullptr, nullptr);
    return narrow;
}

} // namespace

std::wstring WideFromUtf8(std::string_view text) {
    return ToWide(CP_UTF8, text);
}

std::string Utf8FromWide(std::wstring_view text) {
    return FromWide(CP_UTF8, text);
}

std::string AnsiFromUtf8(std::string_view text) {
    return FromWide(CP_ACP, WideFromUtf8(text));
}

std::string Utf8FromAnsi(std::string_view text) {
    return Utf8FromWide(ToWide(CP_ACP, text));
}

std::string SystemErrorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n ? Utf8FromWide(std::wstring_view(buffer, n)) : std::string();
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return (text.empty() ? "system error" : text) + " (" + std::to_string(error) + ")";
}

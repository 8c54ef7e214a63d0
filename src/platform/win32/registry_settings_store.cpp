// SPDX-License-Identifier: MIT
#include "platform/win32/registry_settings_store.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace {

// The key, created when missing, open with full access while it lives.
class OpenKey {
  public:
    explicit OpenKey(const std::string& path) {
        const std::optional<std::wstring> wide = WideFromUtf8(path);
        if (!wide ||
            RegCreateKeyExW(HKEY_CURRENT_USER, wide->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~OpenKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace

std::optional<std::string> RegistrySettingsStore::Read(const std::string& key) {
    const std::optional<std::wstring> name = WideFromUtf8(key);
    const OpenKey open(keyPath_);
    if (!name || open.get() == nullptr) {
        return std::nullopt;
    }
    wchar_t buffer[kReadBufferBytes / sizeof(wchar_t)] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    if (RegQueryValueExW(open.get(), name->c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    // The stored zero, if any, ends the text; a value written without one ends with its size.
    std::wstring_view text(buffer, size / sizeof(wchar_t));
    text = text.substr(0, text.find(L'\0'));
    return Utf8FromWide(text);
}

bool RegistrySettingsStore::Write(const std::string& key, const std::string& value) {
    const std::optional<std::wstring> name = WideFromUtf8(key);
    const std::optional<std::wstring> text = WideFromUtf8(value);
    if (!name || !text || text->size() >= MAXDWORD / sizeof(wchar_t)) {
        return false;
    }
    const OpenKey open(keyPath_);
    if (open.get() == nullptr) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(open.get(), name->c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text->c_str()), bytes) == ERROR_SUCCESS;
}

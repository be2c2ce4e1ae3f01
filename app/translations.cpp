// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/translations.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* kDomain = "zentrix-update";

std::filesystem::path ProgramFolder()
{
#ifdef _WIN32
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::filesystem::path(path).parent_path() : std::filesystem::path();
#else
    std::error_code error;
    const std::filesystem::path program = std::filesystem::canonical("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
#endif
}

// The user's UI languages, most wanted first ("de-DE"); none off Windows.
std::vector<std::string> SystemLanguages()
{
    std::vector<std::string> languages;
#ifdef _WIN32
    ULONG count = 0;
    ULONG size = 0;
    if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) && size > 0 && size < 4096) {
        std::wstring names(size, L'\0');
        if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &size)) {
            for (size_t start = 0; start < names.size() && names[start] != L'\0';) {
                const size_t end = names.find(L'\0', start);
                std::string name;
                for (size_t i = start; i < end; ++i) {
                    name += names[i] < 0x80 ? static_cast<char>(names[i]) : '?';
                }
                languages.push_back(name);
                start = end + 1;
            }
        }
    }
#endif
    return languages;
}

std::vector<std::string> CatalogueFolders()
{
    std::vector<std::string> folders;
    const std::filesystem::path program = ProgramFolder();
    if (!program.empty()) {
        folders.push_back((program / "locale").string());
        folders.push_back((program.parent_path() / "share" / "locale").string());
    }
#ifdef ZENTRIX_LOCALEDIR
    folders.emplace_back(ZENTRIX_LOCALEDIR);
#endif
    return folders;
}

}  // namespace

std::optional<UserCatalogue> LoadUserCatalogue(const EnvironmentReader& env)
{
    const std::vector<std::string> languages = ChooseLanguages(env, SystemLanguages());
    if (languages.empty()) {
        return std::nullopt;
    }
    const std::vector<std::string> folders = CatalogueFolders();
    for (const std::string& language : languages) {
        for (const std::string& file : CatalogueFiles({language}, folders, kDomain)) {
            if (std::optional<MoCatalogue> catalogue = MoCatalogue::Load(file)) {
                return UserCatalogue{std::move(*catalogue), language};
            }
        }
    }
    return std::nullopt;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/catalogue.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr uint32_t kSwappedMagic = 0xde120495;
constexpr size_t kMaxFileSize = 16u << 20;

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    bool Word(uint64_t at, uint32_t& value) const
    {
        if (at > m_bytes.size() || m_bytes.size() - at < 4) {
            return false;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(m_bytes.data() + at);
        value = m_swapped ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                          : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
        return true;
    }
    // The string of table entry `index` (length, offset), which must end in
    // a NUL inside the file.
    bool String(uint32_t table, uint32_t index, std::string_view& text) const
    {
        const uint64_t at = uint64_t{table} + uint64_t{index} * 8;
        uint32_t length = 0;
        uint32_t offset = 0;
        if (!Word(at, length) || !Word(at + 4, offset)) {
            return false;
        }
        if (uint64_t{offset} + length >= m_bytes.size() || m_bytes[uint64_t{offset} + length] != '\0') {
            return false;
        }
        text = m_bytes.substr(offset, length);
        return true;
    }
    void SetSwapped(bool swapped) { m_swapped = swapped; }

private:
    std::string_view m_bytes;
    bool m_swapped = false;
};

std::string_view Before(std::string_view text, char c)
{
    return text.substr(0, std::min(text.find(c), text.size()));
}

std::string_view After(std::string_view text, char c)
{
    const size_t at = text.find(c);
    return at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
}


// The Plural-Forms line of the catalogue's header (the entry with no
// English text).
std::string_view PluralFormsLine(std::string_view header)
{
    constexpr std::string_view kKey = "Plural-Forms:";
    const size_t at = header.find(kKey);
    return at == std::string_view::npos ? std::string_view() : Before(header.substr(at + kKey.size()), '\n');
}

}  // namespace

std::optional<MoCatalogue> MoCatalogue::Parse(std::string bytes)
{
    MoCatalogue catalogue;
    catalogue.m_bytes = std::make_shared<const std::string>(std::move(bytes));
    const std::string_view all = *catalogue.m_bytes;
    Reader reader(all);
    uint32_t magic = 0;
    if (!reader.Word(0, magic) || (magic != kMagic && magic != kSwappedMagic)) {
        return std::nullopt;
    }
    reader.SetSwapped(magic == kSwappedMagic);
    uint32_t revision = 0;
    uint32_t count = 0;
    uint32_t originals = 0;
    uint32_t translations = 0;
    if (!reader.Word(4, revision) || (revision >> 16) > 1 || !reader.Word(8, count) ||
        !reader.Word(12, originals) || !reader.Word(16, translations) || count > all.size() / 8) {
        return std::nullopt;
    }
    std::string_view header;
    catalogue.m_entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::string_view english;
        std::string_view translated;
        if (!reader.String(originals, i, english) || !reader.String(translations, i, translated)) {
            return std::nullopt;
        }
        if (english.empty()) {
            header = translated;
        } else if (!translated.empty()) {
            catalogue.m_entries.push_back({Before(english, '\0'), After(english, '\0'), translated});
        }
    }
    if (const std::string_view forms = PluralFormsLine(header); !forms.empty()) {
        const std::optional<PluralRule> rule = PluralRule::Parse(forms);
        if (!rule) {
            return std::nullopt;
        }
        catalogue.m_rule = *rule;
    }
    std::sort(catalogue.m_entries.begin(), catalogue.m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.singular < b.singular; });
    return catalogue;
}

std::optional<MoCatalogue> MoCatalogue::Load(const std::string& path)
{
    // A pipe or a device in the catalogues' folder is not waited on.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<size_t>(in.gcount()));
        if (bytes.size() > kMaxFileSize) {
            return std::nullopt;
        }
    }
    return Parse(std::move(bytes));
}

const MoCatalogue::Entry* MoCatalogue::Find(std::string_view english) const
{
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), english,
                                     [](const Entry& e, std::string_view text) { return e.singular < text; });
    return it != m_entries.end() && it->singular == english ? &*it : nullptr;
}

std::string_view MoCatalogue::Form(const Entry& entry, int form)
{
    std::string_view rest = entry.translations;
    std::string_view chosen = Before(rest, '\0');
    for (int i = 0; i < form; ++i) {
        const size_t at = rest.find('\0');
        if (at == std::string_view::npos) {
            break;
        }
        rest = rest.substr(at + 1);
        if (!Before(rest, '\0').empty()) {
            chosen = Before(rest, '\0');
        }
    }
    return chosen;
}

std::string_view MoCatalogue::ForCount(const Entry& entry, unsigned long n) const
{
    return Form(entry, m_rule.FormFor(n));
}

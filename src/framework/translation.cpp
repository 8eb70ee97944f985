#include "framework/translation.h"

#include "framework/dialog_template.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fw {
namespace {

using Catalog = std::map<std::string_view, std::string_view, std::less<>>;

uint32_t Word(const unsigned char* data, size_t at, bool swapped) {
    uint32_t w;
    std::memcpy(&w, data + at, 4);
    if (swapped) w = (w >> 24) | ((w >> 8) & 0xFF00u) | ((w << 8) & 0xFF0000u) | (w << 24);
    return w;
}

// A compiled gettext catalog (.mo). The views point into the program's own data.
Catalog Parse(const unsigned char* data, size_t size) {
    Catalog catalog;
    if (size < 28) return catalog;
    const uint32_t magic = Word(data, 0, false);
    const bool swapped = magic == 0xde120495u;
    if (!swapped && magic != 0x950412deu) return catalog;
    const uint32_t count = Word(data, 8, swapped);
    const uint32_t originals = Word(data, 12, swapped);
    const uint32_t translations = Word(data, 16, swapped);
    auto entry = [&](uint32_t table, uint32_t i) -> std::string_view {
        const size_t at = size_t(table) + size_t(i) * 8;
        if (at + 8 > size) return {};
        const uint32_t length = Word(data, at, swapped);
        const uint32_t offset = Word(data, at + 4, swapped);
        if (size_t(offset) + length > size) return {};
        return {reinterpret_cast<const char*>(data) + offset, length};
    };
    for (uint32_t i = 0; i < count; ++i) {
        const std::string_view from = entry(originals, i);
        if (from.empty()) continue;  // the header
        catalog.emplace(from, entry(translations, i));
    }
    return catalog;
}

// nullptr when the program carries no catalog of that name.
const Catalog* CatalogNamed(std::string_view code) {
    static const std::map<std::string_view, Catalog, std::less<>> catalogs = [] {
        std::map<std::string_view, Catalog, std::less<>> all;
        for (const EmbeddedCatalog* c = kEmbeddedCatalogs; c->code; ++c)
            all.emplace(c->code, Parse(c->data, c->size));
        return all;
    }();
    auto it = catalogs.find(code);
    return it == catalogs.end() ? nullptr : &it->second;
}

const Catalog& English() {
    static const Catalog none;
    const Catalog* english = CatalogNamed(Language::English.code);
    return english ? *english : none;
}

Language g_language = Language::Source;

std::string_view Lookup(const Catalog& catalog, std::string_view text) {
    auto it = catalog.find(text);
    return it == catalog.end() ? text : it->second;
}

std::string_view Wrapped(std::string_view text) {
    static std::map<std::string, std::string, std::less<>> wrapped;
    auto it = wrapped.find(text);
    if (it == wrapped.end())
        it = wrapped.emplace(std::string(text), "[" + std::string(text) + "]").first;
    return it->second;
}

}  // namespace

void SetLanguage(Language language) { g_language = language; }

Language CurrentLanguage() { return g_language; }

std::string_view Tr(std::string_view text) {
    if (g_language == Language::Pseudo) return IsCatalogued(text) ? Wrapped(text) : text;
    const Catalog* catalog = CatalogNamed(g_language.code);
    return catalog ? Lookup(*catalog, text) : text;
}

std::string TrFormat(const char* format, ...) {
    const std::string f(Tr(format));
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, f.c_str(), args);
    va_end(args);
    std::string out;
    if (n >= 0) {
        out.resize(size_t(n) + 1);
        std::vsnprintf(out.data(), out.size(), f.c_str(), again);
        out.resize(size_t(n));
    }
    va_end(again);
    return out;
}

bool IsCatalogued(std::string_view text) { return English().contains(text); }

std::optional<Language> CatalogOfLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
    for (std::string_view code : {name, name.substr(0, name.find('_'))}) {
        if (code.empty()) continue;
        for (const EmbeddedCatalog* c = kEmbeddedCatalogs; c->code; ++c)
            if (code == c->code) return Language{c->code};
    }
    return std::nullopt;
}

Language LanguageOfLocale(std::string_view locale) {
    return CatalogOfLocale(locale).value_or(Language::English);
}

Language LanguageFromEnvironment() {
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            if (std::optional<Language> language = CatalogOfLocale(rest.substr(0, colon)))
                return *language;
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
        return Language::English;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return LanguageOfLocale(value);
    return Language::English;
}

}  // namespace fw

namespace fw {

const res::DialogTemplate* TranslatedTemplate(int id) {
    const res::DialogTemplate* source = res::FindDialogTemplate(id);
    if (!source) return nullptr;
    struct Translated {
        res::DialogTemplate tmpl;
        std::vector<res::ControlTemplate> controls;
    };
    static std::map<std::pair<int, Language>, Translated> cache;
    auto [it, fresh] = cache.try_emplace({id, g_language});
    Translated& t = it->second;
    if (fresh) {
        t.controls.assign(source->controls.begin(), source->controls.end());
        for (auto& c : t.controls)
            if (c.kind != res::ControlKind::Icon && !c.text.empty()) c.text = Tr(c.text);
        t.tmpl = *source;
        t.tmpl.caption = Tr(source->caption);
        t.tmpl.controls = t.controls;
    }
    return &t.tmpl;
}

}  // namespace fw

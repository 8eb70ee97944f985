#pragma once
// The program's texts in the user's language. Every text the program shows is
// written in the source as it has always been shown (Japanese messages, English
// labels) and passed through Tr(); the catalogs built from po/*.po map those
// texts to each language's. A text missing from a catalog shows as written.

#include <compare>
#include <optional>
#include <cstddef>
#include <string>
#include <string_view>

namespace fw {

// A language, by the name of its catalog (po/<code>.po).
struct Language {
    std::string_view code;
    auto operator<=>(const Language&) const = default;

    static const Language Source;    // the texts as written; what the tests see by default
    static const Language English;
    static const Language Japanese;
    static const Language Pseudo;    // tests only: every catalogued text wrapped in brackets
};
inline constexpr Language Language::Source{""};
inline constexpr Language Language::English{"en"};
inline constexpr Language Language::Japanese{"ja"};
inline constexpr Language Language::Pseudo{"pseudo"};

// The catalogs the program carries, built from po/*.po; the list ends with a
// null code.
struct EmbeddedCatalog {
    const char* code;
    const unsigned char* data;  // a compiled gettext catalog (.mo)
    std::size_t size;
};
extern const EmbeddedCatalog kEmbeddedCatalogs[];

void SetLanguage(Language language);
Language CurrentLanguage();

// The text for the current language. The view stays valid for the whole run.
std::string_view Tr(std::string_view text);

// Tr() that also fills in the numbers (%d) and names (%s, as const char*) of a
// message the way printf does: the catalog entry is a printf format.
std::string TrFormat(const char* format, ...);

// Whether the English catalog lists `text`; every text passed to Tr() must be.
bool IsCatalogued(std::string_view text);

// The language a locale name selects: the catalog named by its language (and
// territory: "pt_BR" before "pt"), so "ja_JP.UTF-8" selects Japanese; nullopt
// when there is none ("C", "POSIX", "" and languages without a catalog).
std::optional<Language> CatalogOfLocale(std::string_view locale);

// As above, with English for every locale without a catalog.
Language LanguageOfLocale(std::string_view locale);

// The language of the POSIX environment: the first of LANGUAGE (a colon-separated
// list, of which the first entry with a catalog counts), LC_ALL, LC_MESSAGES and
// LANG that is set and not empty.
Language LanguageFromEnvironment();

}  // namespace fw

namespace res {
struct DialogTemplate;
}

namespace fw {

// Dialog template `id` with its caption and control texts in the current
// language; nullptr for an unknown id. Backends build windows from it, so none
// of them translates a text on its own.
const res::DialogTemplate* TranslatedTemplate(int id);

}  // namespace fw
